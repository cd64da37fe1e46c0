// Real echo probes: on 127.0.0.1, and in network namespaces made for the test, where they can
// time out, meet crafted packets and use the datagram ICMP socket without leaving the machine.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>
#include <vector>

#include "setup/EchoProbe.h"
#include "setup/EchoWire.h"
#include "setup/NetNamespace.h"

namespace corvelle {
namespace {

using test::kLoopback;
using test::NamespaceSetup;
using test::ProbeOutcome;
using test::ProbeWith;

void SleepMs(long ms) {
  const timespec pause{0, ms * 1000000L};
  ::nanosleep(&pause, nullptr);
}

// Sends crafted ICMP messages to 127.0.0.1 from a raw socket in a child process, `count`
// times 20 ms apart, while the caller probes. Ended with StopSender.
pid_t StartSender(std::uint8_t type, std::uint16_t identifier, std::uint16_t sequence, int count) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int fd = ::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
  std::vector<std::uint8_t> message(kEchoHeaderSize + 32);
  BuildEchoRequest(message, sequence);
  message[0] = type;
  message[2] = message[3] = 0;
  message[4] = static_cast<std::uint8_t>(identifier & 0xFF);
  message[5] = static_cast<std::uint8_t>(identifier >> 8);
  const std::uint16_t checksum = InternetChecksum(message);
  message[2] = static_cast<std::uint8_t>(checksum & 0xFF);
  message[3] = static_cast<std::uint8_t>(checksum >> 8);
  sockaddr_in to{};
  to.sin_family = AF_INET;
  to.sin_addr.s_addr = kLoopback;
  for (int i = 0; i < count && fd >= 0; ++i) {
    ::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&to), sizeof to);
    SleepMs(20);
  }
  ::_exit(0);
}

void StopSender(pid_t pid) {
  if (pid <= 0) return;
  ::kill(pid, SIGKILL);
  ::waitpid(pid, nullptr, 0);
}

// Probes while a sender sends crafted packets carrying this process's identifier.
ProbeOutcome ProbeAmid(std::uint8_t type, std::uint16_t craftedSequence, int count, unsigned probeSequence,
                       std::uint32_t timeoutMs) {
  const pid_t sender = StartSender(type, ProcessIdentifier(), static_cast<std::uint16_t>(craftedSequence), count);
  const ProbeOutcome outcome = ProbeWith("127.0.0.1", timeoutMs, 32, nullptr, probeSequence);
  StopSender(sender);
  return outcome;
}

TEST(EchoProbeReply, IsAllZeroWhenMade) {
  const EchoProbeReply reply;
  EXPECT_EQ(reply.responderAddress, 0u);
  EXPECT_EQ(reply.roundTripMs, 0u);
  EXPECT_EQ(reply.spare, 0u);
}

TEST(EchoProbe, LoopbackAnswersOverARawSocket) {
  if (!test::CanOpenRawSocket()) GTEST_SKIP() << "this process may not open raw ICMP sockets (not root)";
  const int descriptors = test::OpenDescriptorCount();
  EchoProbeReply reply;
  reply.spare = 77;
  ASSERT_EQ(CEchoProbe().Probe("127.0.0.1", &reply, 10, 5000, 32, 0, 0, nullptr, 0), 1)
      << EchoProbeErrorText(CEchoProbe::LastError());
  EXPECT_EQ(reply.responderAddress, kLoopback);
  EXPECT_LT(reply.roundTripMs, 5000u);
  EXPECT_EQ(reply.spare, 77u) << "the spare field is never written";
  EXPECT_EQ(CEchoProbe::LastError(), 0);
  EXPECT_EQ(test::OpenDescriptorCount(), descriptors) << "the socket is closed";
}

TEST(EchoProbe, BadArgumentsFailWithoutLeavingASocketOpen) {
  if (!test::CanOpenRawSocket()) GTEST_SKIP() << "this process may not open raw ICMP sockets (not root)";
  const int descriptors = test::OpenDescriptorCount();
  EchoProbeReply reply;
  EXPECT_EQ(CEchoProbe().Probe("127.0.0.1", &reply, 10, 5000, -1, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(CEchoProbe::LastError(), EINVAL) << "a negative data size";
  // Only the low 8 bits of the time-to-live count: 256 asks for 0, which the system refuses.
  EXPECT_EQ(CEchoProbe().Probe("127.0.0.1", &reply, 256, 5000, 32, 0, 0, nullptr, 0), 0);
  EXPECT_EQ(CEchoProbe::LastError(), EINVAL) << "a failing socket option";
  EXPECT_EQ(reply.responderAddress, 0u);
  EXPECT_EQ(test::OpenDescriptorCount(), descriptors);
}

TEST(EchoProbe, TimesOutWhenNothingAnswers) {
  CORVELLE_RUN_IN_NAMESPACE(run, (NamespaceSetup{.ignoreEcho = true}), [] { return ProbeWith("127.0.0.1", 200); });
  EXPECT_EQ(run.value.extra, 0) << "the socket is closed";
  EXPECT_EQ(run.value.result, 0);
  EXPECT_EQ(run.value.lastError, ETIMEDOUT);
  EXPECT_EQ(EchoProbeErrorText(run.value.lastError), "timed out");
  EXPECT_EQ(run.value.reply.responderAddress, 0u);
  EXPECT_EQ(run.value.reply.roundTripMs, 0u);
}

TEST(EchoProbe, OnlyThePacketWithOurIdentifierAndSequenceEndsTheWait) {
  struct Case {
    const char* what;
    std::uint8_t type;
    std::uint16_t craftedSequence;
    int count;  // packets sent 20 ms apart
    std::uint32_t timeoutMs;
    int result, lastError;
  };
  // Nothing answers for real in the namespace: the only packets are the crafted ones.
  const Case cases[] = {
      {"another sequence: the wait times out", kIcmpEchoReply, 1, 5, 300, 0, ETIMEDOUT},
      {"any echo reply of ours counts", kIcmpEchoReply, 0, 150, 5000, 1, 0},
      {"ours but no echo reply", 3, 0, 150, 5000, 0, kEchoErrorUnexpectedNetwork},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    CORVELLE_RUN_IN_NAMESPACE(run, (NamespaceSetup{.ignoreEcho = true}),
                              [&] { return ProbeAmid(c.type, c.craftedSequence, c.count, 0, c.timeoutMs); });
    EXPECT_EQ(run.value.result, c.result);
    EXPECT_EQ(run.value.lastError, c.lastError) << EchoProbeErrorText(run.value.lastError);
    EXPECT_EQ(run.value.reply.responderAddress, c.result == 1 ? kLoopback : 0u);
  }
  EXPECT_EQ(EchoProbeErrorText(kEchoErrorUnexpectedNetwork), "unexpected network error");
}

TEST(EchoProbe, AnUnknownHostEndsTheProbeBeforeAnySocketOpens) {
  // No network in the namespace, so the look-up cannot leave the machine.
  CORVELLE_RUN_IN_NAMESPACE(run, NamespaceSetup{}, [] { return ProbeWith("no-such-printer.invalid"); });
  EXPECT_EQ(run.value.result, 0);
  EXPECT_EQ(run.value.lastError, kEchoErrorHostNotFound);
  EXPECT_EQ(run.value.extra, 0);
}

TEST(EchoProbe, NamesAreLookedUp) {
  CORVELLE_RUN_IN_NAMESPACE(run, NamespaceSetup{}, [] { return ProbeWith("localhost"); });
  if (run.value.result == 0 && run.value.lastError == kEchoErrorHostNotFound) {
    GTEST_SKIP() << "localhost has no IPv4 address in this system's hosts file";
  }
  EXPECT_EQ(run.value.result, 1) << EchoProbeErrorText(run.value.lastError);
  EXPECT_EQ(run.value.reply.responderAddress, kLoopback);
}

TEST(EchoProbe, BindsToTheGivenLocalAddress) {
  CORVELLE_RUN_IN_NAMESPACE(run, NamespaceSetup{}, [] {
    ProbeOutcome outcome = ProbeWith("127.0.0.1", 5000, 32, "127.0.0.1");
    // 192.0.2.1 (a documentation address) is not an address of this namespace.
    const ProbeOutcome foreign = ProbeWith("127.0.0.1", 5000, 32, "192.0.2.1");
    outcome.extra = foreign.result == 0 ? foreign.lastError : -1;
    return outcome;
  });
  EXPECT_EQ(run.value.result, 1) << EchoProbeErrorText(run.value.lastError);
  EXPECT_EQ(run.value.extra, EADDRNOTAVAIL);
}

}  // namespace
}  // namespace corvelle
