// Real echo probes: on 127.0.0.1, and in network namespaces made for the test, where they can
// time out, fail their look-up and use the datagram ICMP socket without leaving the machine.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cstdlib>
#include <filesystem>

#include "setup/EchoProbe.h"
#include "setup/EchoSocket.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

const std::uint32_t kLoopback = htonl(INADDR_LOOPBACK);
enum Setting { kNothingAnswers = 1, kPingSockets = 2, kAsNobody = 4 };

// Runs `body` in a child process in a new network namespace whose only interface, loopback, is
// up, and hands back the value it returned. The exit code of the child, 77 when no namespace
// can be made here.
template <typename T, typename Body>
int InNamespace(int settings, T& value, Body body) {
  int channel[2];
  const pid_t pid = ::pipe(channel) == 0 ? ::fork() : -1;
  if (pid < 0) return -1;
  if (pid == 0) {
    if (::unshare(CLONE_NEWNET) != 0 || std::system("ip link set lo up") != 0 ||
        (settings & kNothingAnswers && !test::WriteFile("/proc/sys/net/ipv4/icmp_echo_ignore_all", "1")) ||
        (settings & kPingSockets && !test::WriteFile("/proc/sys/net/ipv4/ping_group_range", "0 2147483647"))) {
      ::_exit(77);
    }
    const auto run = [&] {
      const T result = body();
      return ::write(channel[1], &result, sizeof result) == sizeof result ? 0 : 1;
    };
    ::_exit(settings & kAsNobody ? test::RunUnprivileged(run) : run());
  }
  ::close(channel[1]);
  const bool got = ::read(channel[0], &value, sizeof value) == sizeof value;
  ::close(channel[0]);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return !WIFEXITED(status) || (WEXITSTATUS(status) == 0 && !got) ? -1 : WEXITSTATUS(status);
}

#define RUN_IN_NAMESPACE(settings, value, ...)                                         \
  if (const int code = InNamespace(settings, value, __VA_ARGS__); code == 77) {        \
    GTEST_SKIP() << "no network namespace with loopback here (needs CAP_SYS_ADMIN)";    \
  } else                                                                               \
    ASSERT_EQ(code, 0) << "the child in the namespace failed"

int OpenDescriptors() { return static_cast<int>(std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {})); }

// A probe of `host` with the program's arguments; `leaked` counts the descriptors it left open.
struct Outcome {
  int result = -1, error = 0, leaked = 0;
  EchoProbeReply reply{0, 0, 77};
};
Outcome Probe(const std::string& host, std::uint32_t timeoutMs = 5000, std::int32_t dataSize = 32, unsigned ttl = 10,
              const char* localAddress = nullptr) {
  Outcome o;
  const int before = OpenDescriptors();
  o.result = CEchoProbe().Probe(host, &o.reply, ttl, timeoutMs, dataSize, 0, 0, localAddress, 0);
  o.error = CEchoProbe::LastError();
  o.leaked = OpenDescriptors() - before;
  return o;
}

TEST(EchoProbe, LoopbackAnswersAndBadArgumentsFailWithTheSocketClosed) {
  if (::geteuid() != 0) GTEST_SKIP() << "raw ICMP sockets need root here";
  const Outcome o = Probe("127.0.0.1");
  ASSERT_EQ(o.result, 1) << EchoProbeErrorText(o.error);
  EXPECT_EQ(o.error, 0);
  EXPECT_EQ(o.reply.responderAddress, kLoopback);
  EXPECT_LT(o.reply.roundTripMs, 5000u);
  EXPECT_EQ(o.reply.spare, 77u) << "the spare field is never written";
  // A negative data size; a time-to-live of 256, whose low 8 bits (0) the system refuses.
  EXPECT_EQ(o.leaked, 0) << "the socket is closed";
  for (const Outcome& bad : {Probe("127.0.0.1", 5000, -1), Probe("127.0.0.1", 5000, 32, 256)}) {
    EXPECT_EQ(std::vector({bad.result, bad.error, bad.leaked}), std::vector({0, EINVAL, 0}));
    EXPECT_EQ(bad.reply.responderAddress, 0u);
  }
  EXPECT_EQ(ResolveIPv4("127.1").value().sin_addr.s_addr, kLoopback);
  EXPECT_EQ(ResolveIPv4("255.255.255.255").value().sin_addr.s_addr, 0xFFFFFFFFu) << "an address, not a failure";
}

TEST(EchoProbe, OnTheWireTheRequestCarriesTheArgumentsAndACutPayload) {
  // data size, time-to-live, type of service, don't-fragment; what the request shows of them.
  constexpr int kCases[4][7] = {{32, 10, 0, 0, 44, 10, 0}, {2000, 10, 0, 0, 1036, 10, 0}, {0, 10, 0, 0, 12, 10, 0},
                                {33, 0x140, 0x110, 1, 45, 0x40, 0x10}};
  struct Seen {
    int icmpLength = -1, ttl = 0, tos = 0, dontFragment = 0, checksumVerifies = 0, payloadIsE = 0, error = 0;
  };
  std::array<Seen, 4> seen;
  RUN_IN_NAMESPACE(kNothingAnswers, seen, [&] {
    std::array<Seen, 4> all;
    for (int i = 0; i < 4; ++i) {
      const UniqueFd watcher(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
      const auto& c = kCases[i];
      CEchoProbe().Probe("127.0.0.1", nullptr, c[1], 100, c[0], c[2], c[3], nullptr, 0);
      all[i].error = CEchoProbe::LastError();
      std::uint8_t packet[2048];
      for (ssize_t n; (n = ::recv(watcher.Get(), packet, sizeof packet, MSG_DONTWAIT)) > 0;) {
        const std::uint8_t* icmp = packet + 4 * (packet[0] & 0x0F);
        if (icmp + 12 > packet + n || icmp[0] != 8 || (icmp[4] | (icmp[5] << 8)) != ProcessIdentifier()) continue;
        const std::span<const std::uint8_t> message(icmp, packet + n);
        const bool allE = std::all_of(message.begin() + 12, message.end(), [](auto b) { return b == 0x45; });
        all[i] = {static_cast<int>(message.size()), packet[8], packet[1], (packet[6] & 0x40) != 0,
                  InternetChecksum(message) == 0, allE, all[i].error};
      }
    }
    return all;
  });
  for (int i = 0; i < 4; ++i) {
    SCOPED_TRACE(kCases[i][0]);
    EXPECT_EQ(seen[i].error, ETIMEDOUT);
    EXPECT_EQ(std::vector({seen[i].icmpLength, seen[i].ttl, seen[i].tos, seen[i].dontFragment}),
              std::vector({kCases[i][4], kCases[i][5], kCases[i][6], kCases[i][3]}));
    EXPECT_TRUE(seen[i].checksumVerifies && seen[i].payloadIsE);
  }
}

TEST(EchoProbe, InANamespaceTimeOutUnknownNamesAndTheDatagramSocket) {
  const struct {
    const char* what;
    int settings;
    const char* host;
    const char* localAddress;
    int result, error;
  } cases[] = {
      {"nothing answers", kNothingAnswers, "127.0.0.1", nullptr, 0, ETIMEDOUT},
      {"an unknown name, looked up without a network", 0, "no-such-printer.invalid", nullptr, 0, kEchoErrorHostNotFound},
      {"a local address that is not ours", 0, "127.0.0.1", "192.0.2.1", 0, EADDRNOTAVAIL},
      {"the datagram socket without the right to a raw one", kPingSockets | kAsNobody, "127.0.0.1", nullptr, 1, 0},
      {"neither socket kind", kAsNobody, "127.0.0.1", nullptr, 0, EACCES},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Outcome o;
    RUN_IN_NAMESPACE(c.settings, o, [&] { return Probe(c.host, 200, 32, 10, c.localAddress); });
    EXPECT_EQ(o.result, c.result);
    EXPECT_EQ(o.error, c.error) << EchoProbeErrorText(o.error);
    EXPECT_EQ(o.reply.responderAddress, c.result ? kLoopback : 0u);
    EXPECT_EQ(o.leaked, 0) << "the socket is closed";
  }
  EXPECT_EQ(EchoProbeErrorText(ETIMEDOUT), "timed out");
}

}  // namespace
}  // namespace corvelle
