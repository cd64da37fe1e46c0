// SPDX-License-Identifier: MIT
// Real echo probes: on 127.0.0.1, and in network namespaces made for the test, where they can
// time out, fail their look-up and use the datagram ICMP socket without leaving the machine; and
// the ping command that runs them.
#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mman.h>

#include <array>

#include "ports/echo/EchoProbe.h"
#include "ports/echo/EchoSocket.h"
#include "support/Loopback.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

const std::uint32_t kLoopback = htonl(INADDR_LOOPBACK);
enum Setting { kNothingAnswers = 1, kPingSockets = 2, kAsNobody = 4 };

// Runs `body` in a child process in a new network namespace whose only interface, loopback, is
// up, and hands back the value it returned (through shared memory). The exit code of the child:
// 77 when no namespace can be made here.
template <typename T, typename Body>
int InNamespace(int settings, T& value, Body body) {
  auto* shared = static_cast<T*>(::mmap(nullptr, sizeof(T), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0));
  if (shared == MAP_FAILED) return -1;
  const int code = test::RunInChild([&] {
    if (::unshare(CLONE_NEWNET) != 0 || std::system("ip link set lo up") != 0 ||
        (settings & kNothingAnswers && !test::WriteFile("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1")) ||
        (settings & kPingSockets && !test::WriteFile("/proc/sys/net/ipv4/ping_group_range", "0 2147483647")))
      return 77;
    const auto run = [&] { return *shared = body(), 0; };
    return settings & kAsNobody ? test::RunUnprivileged(run) : run();
  });
  value = *shared;
  ::munmap(shared, sizeof(T));
  return code;
}

// A probe of `host` with `options`; `leaked` counts the descriptors it left open, and `wire` is
// what the request it sent showed (ICMP length, time-to-live, type of service, don't-fragment),
// zeros when none was seen.
struct Probed {
  int result = -1, error = 0, leaked = 0;
  std::array<int, 4> wire{};
  EchoProbeReply reply;
};
Probed Probe(const std::string& host, const EchoProbeOptions& options) {
  Probed o;
  const UniqueFd watcher(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
  const std::size_t before = test::EntriesIn("/proc/self/fd");
  const auto probed = CEchoProbe().Probe(host, options);
  o.result = probed ? 1 : 0;
  o.error = probed.Failure().system;
  if (probed) o.reply = *probed;
  o.leaked = static_cast<int>(test::EntriesIn("/proc/self/fd") - before);
  std::uint8_t packet[2048];
  for (ssize_t n; watcher.Get() >= 0 && (n = ::recv(watcher.Get(), packet, sizeof packet, MSG_DONTWAIT)) > 0;) {
    const std::uint8_t* icmp = packet + 4 * (packet[0] & 0x0F);
    if (icmp + 12 <= packet + n && icmp[0] == 8)  // only the probe sends requests here
      o.wire = {static_cast<int>(packet + n - icmp), packet[8], packet[1], (packet[6] & 0x40) != 0};
  }
  return o;
}

// Every probe, answered or failed, leaves no socket open; the request carries the arguments, the
// payload cut to 1024 bytes and only the low 8 bits of the time-to-live and type of service.
TEST(EchoProbe, InANamespaceTimeOutUnknownNamesAndTheDatagramSocket) {
  // What the case shows, the namespace's settings, the host, the local address, the data size,
  // time-to-live, type of service and don't-fragment; the result, the error and the request seen.
  const std::tuple<const char*, int, const char*, const char*, int, unsigned, unsigned, bool, int, int,
                   std::array<int, 4>>
      cases[] = {
          {"loopback answers", 0, "127.0.0.1", nullptr, 32, 10, 0, false, 1, 0, {44, 10, 0, 0}},
          {"a negative data size", 0, "127.0.0.1", nullptr, -1, 10, 0, false, 0, EINVAL, {}},
          {"a time-to-live of 256, whose low 8 bits (0) the system refuses", 0, "127.0.0.1", nullptr, 32, 256, 0, false, 0,
           EINVAL, {}},
          {"nothing answers", kNothingAnswers, "127.0.0.1", nullptr, 32, 10, 0, false, 0, ETIMEDOUT, {44, 10, 0, 0}},
          {"a payload cut", kNothingAnswers, "127.0.0.1", nullptr, 2000, 10, 0, false, 0, ETIMEDOUT, {1036, 10, 0, 0}},
          {"no payload", kNothingAnswers, "127.0.0.1", nullptr, 0, 10, 0, false, 0, ETIMEDOUT, {12, 10, 0, 0}},
          {"the low bits", kNothingAnswers, "127.0.0.1", nullptr, 33, 0x140, 0x110, true, 0, ETIMEDOUT, {45, 0x40, 0x10, 1}},
          {"an unknown name, with no network to ask", 0, "no-such-printer.invalid", nullptr, 32, 10, 0, false, 0,
           kEchoErrorHostNotFound, {}},
          {"a local address that is not ours", 0, "127.0.0.1", "192.0.2.1", 32, 10, 0, false, 0, EADDRNOTAVAIL, {}},
          {"the datagram socket without the right to a raw one", kPingSockets | kAsNobody, "127.0.0.1", nullptr, 32, 10, 0,
           false, 1, 0, {}},
          {"neither socket kind", kAsNobody, "127.0.0.1", nullptr, 32, 10, 0, false, 0, EACCES, {}},
      };
  EXPECT_EQ(ResolveIPv4("127.1")->sin_addr.s_addr, kLoopback);
  EXPECT_EQ(ResolveIPv4("255.255.255.255")->sin_addr.s_addr, 0xFFFFFFFFu) << "an address, not a failure";
  for (const auto& [what, settings, host, localAddress, dataSize, ttl, tos, dontFragment, result, error, wire] : cases) {
    SCOPED_TRACE(what);
    EchoProbeOptions options = EchoProbeOptions::Within(200);
    std::tie(options.dataSize, options.ttl, options.tos, options.dontFragment) = std::tie(dataSize, ttl, tos, dontFragment);
    if (localAddress) options.localAddress = localAddress;
    Probed o;
    const int code = InNamespace(settings, o, [&] { return Probe(host, options); });
    if (code == 77) GTEST_SKIP() << "no network namespace with loopback here (needs CAP_SYS_ADMIN)";
    ASSERT_EQ(code, 0) << "the child in the namespace failed";
    EXPECT_EQ(std::vector({o.result, o.error, o.leaked}), std::vector({result, error, 0}))
        << EchoProbeErrorText(o.error);
    EXPECT_EQ(std::pair(o.wire, o.reply.responderAddress), std::pair(wire, result ? kLoopback : 0u));
  }
}

// corvelle-cli ping, run as the built tool: exit 0 on a reply, 1 without, 2 on usage errors;
// after the echo a second line says what the port did.
TEST(PingCommand, ExitsByTheEchoAndSaysOnASecondLineWhatThePortDid) {
  test::TempDir dir;
  const std::string cli = CORVELLE_BIN_DIR "/corvelle-cli";
  // "exit code|stdout|stderr" of a run.
  const auto run = [&](const std::vector<std::string>& args) {
    const test::ProgramRun r = test::RunProgram(dir, args);
    return std::to_string(r.exit) + "|" + r.out + "|" + r.err;
  };
  EXPECT_EQ(run({cli, "ping"}).substr(0, 2), "2|");
  EXPECT_EQ(run({cli, "ping", "127.0.0.1", "127.0.0.2"}).substr(0, 2), "2|");
  for (const std::string bad : {"0", "65536", "x"})
    EXPECT_EQ(run({cli, "ping", "127.0.0.1", "--port", bad}).substr(0, 2), "2|") << bad;
  EXPECT_EQ(run({cli, "ping", "--help"}).rfind("0|Usage: corvelle-cli ping HOST [--port N]\n", 0), 0u);
  // Without a network of its own the look-up cannot leave the machine.
  if (std::system("unshare -n true") == 0) {
    EXPECT_EQ(run({"unshare", "-n", cli, "ping", "no-such-printer.invalid"}),
              "1||No reply from no-such-printer.invalid: host not found\n");
  }
  if (::geteuid() != 0) GTEST_SKIP() << "raw ICMP sockets need root here";
  // Without --port it is 4001, whatever listens there on this machine.
  const std::string reply = run({cli, "ping", "127.0.0.1"});
  EXPECT_TRUE(reply.starts_with("0|Reply from 127.0.0.1: time=") && reply.find(" ms\nPort 4001 ") != std::string::npos) << reply;
  // The port probe's own tests tell its answers apart; here the second line names the port asked.
  const test::LoopbackPort listener(4);
  const std::string port = std::to_string(listener.port), accepted = run({cli, "ping", "127.0.0.1", "--port=" + port});
  EXPECT_TRUE(accepted.starts_with("0|Reply from 127.0.0.1: time=") &&
              accepted.ends_with(" ms\nPort " + port + " accepts connections\n|")) << accepted;
}

}  // namespace
}  // namespace corvelle
