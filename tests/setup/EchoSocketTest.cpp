// The socket side of the probe: what goes on the wire, the timed wait, binding, look-ups and
// the datagram ICMP socket used without the right to a raw one.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "setup/EchoProbe.h"
#include "setup/EchoSocket.h"
#include "setup/EchoWire.h"
#include "setup/NetNamespace.h"

namespace corvelle {
namespace {

using test::kLoopback;
using test::NamespaceSetup;
using test::ProbeOutcome;
using test::ProbeWith;

// This process's echo request as a second raw socket saw it on loopback.
struct SeenRequest {
  int result = -1;
  int lastError = 0;
  int icmpLength = -1;
  int ttl = 0;
  int tos = 0;
  bool dontFragment = false;
  bool checksumVerifies = false;
  bool payloadIsE = false;
};

// Probes 127.0.0.1, where nothing answers, and watches the request go by.
SeenRequest ProbeAndWatch(std::int32_t dataSize, unsigned ttl, unsigned tos, int dontFragment) {
  SeenRequest seen;
  const UniqueFd watcher(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
  seen.result = CEchoProbe().Probe("127.0.0.1", nullptr, ttl, 100, dataSize, tos, dontFragment, nullptr, 0);
  seen.lastError = CEchoProbe::LastError();
  std::vector<std::uint8_t> packet(2048);
  ssize_t length = 0;
  while (watcher.Valid() && (length = ::recv(watcher.Get(), packet.data(), packet.size(), MSG_DONTWAIT)) >= 20) {
    const std::size_t header = 4u * (packet[0] & 0x0F);
    if (static_cast<std::size_t>(length) < header + kEchoHeaderSize) continue;
    const std::span<const std::uint8_t> icmp(packet.data() + header, static_cast<std::size_t>(length) - header);
    if (icmp[0] != kIcmpEchoRequest || (icmp[4] | (icmp[5] << 8)) != ProcessIdentifier()) continue;
    seen.icmpLength = static_cast<int>(icmp.size());
    seen.ttl = packet[8];
    seen.tos = packet[1];
    seen.dontFragment = (packet[6] & 0x40) != 0;
    seen.checksumVerifies = InternetChecksum(icmp) == 0;
    seen.payloadIsE = std::all_of(icmp.begin() + kEchoHeaderSize, icmp.end(), [](auto b) { return b == 0x45; });
  }
  return seen;
}

TEST(EchoRequestOnTheWire, CarriesTheArgumentsAndACutPayload) {
  struct Case {
    std::int32_t dataSize;
    unsigned ttl, tos;
    int dontFragment;
    int icmpLength, wireTtl, wireTos;
  };
  // Time-to-live and type of service take their low 8 bits; data sizes past 1024 are cut.
  for (const Case& c : {Case{32, 10, 0, 0, 44, 10, 0}, Case{2000, 10, 0, 0, 1036, 10, 0},
                        Case{0, 10, 0, 0, 12, 10, 0}, Case{33, 0x140, 0x110, 1, 45, 0x40, 0x10}}) {
    SCOPED_TRACE(testing::Message() << "data size " << c.dataSize);
    CORVELLE_RUN_IN_NAMESPACE(run, (NamespaceSetup{.ignoreEcho = true}),
                              [&] { return ProbeAndWatch(c.dataSize, c.ttl, c.tos, c.dontFragment); });
    const SeenRequest& seen = run.value;
    EXPECT_EQ(seen.result, 0);
    EXPECT_EQ(seen.lastError, ETIMEDOUT);
    ASSERT_EQ(seen.icmpLength, c.icmpLength) << "-1: the request was not seen";
    EXPECT_EQ(seen.ttl, c.wireTtl);
    EXPECT_EQ(seen.tos, c.wireTos);
    EXPECT_EQ(seen.dontFragment, c.dontFragment != 0);
    EXPECT_TRUE(seen.checksumVerifies);
    EXPECT_TRUE(seen.payloadIsE);
  }
}

TEST(EchoSocket, IsReadableWaitsForAPacketWithinTheLimit) {
  int pair[2];
  ASSERT_EQ(::socketpair(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0, pair), 0);
  bool readable = true;
  EXPECT_EQ(IsReadable(pair[0], 20, readable), 1);
  EXPECT_FALSE(readable) << "the limit passed";
  ASSERT_EQ(::write(pair[1], "x", 1), 1);
  EXPECT_EQ(IsReadable(pair[0], 5000, readable), 1);
  EXPECT_TRUE(readable);
  ::close(pair[0]);
  ::close(pair[1]);
  // The wait itself fails on a descriptor that is not open.
  EXPECT_EQ(IsReadable(pair[0], 20, readable), 0);
  EXPECT_EQ(CEchoProbe::LastError(), EBADF);
}

TEST(EchoSocket, DottedDecimalIsTakenWithoutALookUp) {
  const auto plain = ResolveIPv4("127.0.0.1");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->sin_addr.s_addr, kLoopback);
  EXPECT_EQ(plain->sin_family, AF_INET);
  EXPECT_EQ(plain->sin_port, 0);
  const auto shortForm = ResolveIPv4("127.1");
  ASSERT_TRUE(shortForm);
  EXPECT_EQ(shortForm->sin_addr.s_addr, kLoopback);
  const auto broadcast = ResolveIPv4("255.255.255.255");
  ASSERT_TRUE(broadcast) << "all ones is an address, not a failed conversion";
  EXPECT_EQ(broadcast->sin_addr.s_addr, 0xFFFFFFFFu);
}

TEST(EchoSocket, BindLocalBindsToTheAddressWithPortZero) {
  UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
  ASSERT_TRUE(fd.Valid());
  ASSERT_EQ(BindLocal(fd.Get(), "127.0.0.1"), 1);
  sockaddr_in local{};
  socklen_t length = sizeof local;
  ASSERT_EQ(::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&local), &length), 0);
  EXPECT_EQ(local.sin_addr.s_addr, kLoopback);
}

TEST(EchoSocket, BindLocalFailsForUnknownNames) {
  CORVELLE_RUN_IN_NAMESPACE(run, NamespaceSetup{}, [] {
    UniqueFd fd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0));
    ProbeOutcome outcome;
    outcome.result = BindLocal(fd.Get(), "no-such-interface.invalid");
    outcome.lastError = CEchoProbe::LastError();
    return outcome;
  });
  EXPECT_EQ(run.value.result, 0);
  EXPECT_EQ(run.value.lastError, kEchoErrorHostNotFound);
}

TEST(EchoDatagramSocket, AnswersWithoutTheRightToRawSockets) {
  CORVELLE_RUN_IN_NAMESPACE(run, (NamespaceSetup{.allowPingSockets = true, .unprivileged = true}), [] {
    ProbeOutcome outcome = ProbeWith("127.0.0.1", 5000, 32, nullptr, 0x1234);
    outcome.extra = ::geteuid() != 0 && !test::CanOpenRawSocket();
    return outcome;
  });
  ASSERT_EQ(run.value.extra, 1) << "the body should have run without the right to raw sockets";
  EXPECT_EQ(run.value.result, 1) << EchoProbeErrorText(run.value.lastError);
  EXPECT_EQ(run.value.reply.responderAddress, kLoopback);
}

TEST(EchoDatagramSocket, TimesOutWhenNothingAnswers) {
  CORVELLE_RUN_IN_NAMESPACE(run, (NamespaceSetup{.ignoreEcho = true, .allowPingSockets = true, .unprivileged = true}),
                            [] { return ProbeWith("127.0.0.1", 200); });
  EXPECT_EQ(run.value.result, 0);
  EXPECT_EQ(run.value.lastError, ETIMEDOUT);
}

TEST(EchoDatagramSocket, NeitherSocketKindFailsQuicklyAndSendsNothing) {
  // A new namespace allows datagram ICMP sockets to no group ("1 0").
  CORVELLE_RUN_IN_NAMESPACE(run, (NamespaceSetup{.unprivileged = true}), [] { return ProbeWith("127.0.0.1"); });
  EXPECT_EQ(run.value.result, 0);
  EXPECT_EQ(run.value.lastError, EACCES);
  EXPECT_EQ(run.value.extra, 0);
}

}  // namespace
}  // namespace corvelle
