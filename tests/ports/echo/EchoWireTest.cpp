// SPDX-License-Identifier: MIT
// The echo request's bytes and the rules that pick our reply out of received datagrams.
#include <gtest/gtest.h>

#include <vector>

#include "ports/echo/EchoProbe.h"
#include "ports/echo/EchoWire.h"

namespace corvelle {
namespace {

using Bytes = std::vector<std::uint8_t>;

TEST(EchoRequest, IsTheDescribed44BytesWithAChecksumRightOnTheWire) {
  Bytes message(44);
  const std::uint32_t before = TickCount();
  BuildEchoRequest(message, 0x1234);
  const std::uint32_t tick = message[8] | (message[9] << 8) | (message[10] << 16) | (std::uint32_t{message[11]} << 24);
  EXPECT_LE(tick - before, TickCount() - before) << "the tick count, low byte first";
  const std::uint16_t id = ProcessIdentifier();
  EXPECT_EQ(Bytes({message[0], message[1], message[4], message[5], message[6], message[7]}),
            Bytes({8, 0, static_cast<std::uint8_t>(id), static_cast<std::uint8_t>(id >> 8), 0x34, 0x12}));
  EXPECT_EQ(Bytes(message.begin() + 12, message.end()), Bytes(32, 0x45));
  EXPECT_EQ(InternetChecksum(message), 0) << "the stored checksum verifies";
  // RFC 1071's example sums to 0xDDF2: checksum 0x220D on the wire. An odd last byte counts as
  // the high byte of a word, and a carry out of the folded sum is folded in again.
  EXPECT_EQ(InternetChecksum(Bytes{0x00, 0x01, 0xF2, 0x03, 0xF4, 0xF5, 0xF6, 0xF7}), 0x0D22);
  EXPECT_EQ(InternetChecksum(Bytes{0xFF, 0xFF, 0xFF, 0xFF, 0x01}), 0xFFFE);
}

// An ICMP message of 12 + `payload` bytes behind an IPv4 header of `headerWords` words.
Bytes Datagram(std::uint8_t type, std::uint16_t id, std::uint16_t sequence, int headerWords = 5, int payload = 32) {
  Bytes bytes(static_cast<std::size_t>(headerWords * 4 + 12 + payload), kEchoPayloadByte);
  std::fill_n(bytes.begin(), headerWords * 4 + 4, 0);
  if (headerWords > 0) bytes[0] = static_cast<std::uint8_t>(0x40 | headerWords);
  const auto icmp = bytes.begin() + headerWords * 4;
  icmp[0] = type;
  // The identifier, then the sequence, each low byte first.
  for (int i = 0; i < 4; ++i) icmp[4 + i] = static_cast<std::uint8_t>((id | sequence << 16) >> 8 * i);
  return bytes;
}

TEST(DecodeEchoReply, KeepsWaitingForOurReplyAndEndsOnlyOnOurs) {
  const std::uint16_t us = ProcessIdentifier();
  Bytes headerPastEnd = Datagram(0, us, 0, 5, 0);
  headerPastEnd[0] = 0x4F;
  constexpr EchoFraming ip = EchoFraming::IpHeader, bare = EchoFraming::Bare;
  // What the case shows, the datagram and its framing, the sequence awaited; the answer, and
  // whether the wait goes on.
  const std::tuple<const char*, Bytes, EchoFraming, std::uint16_t, int, bool> cases[] = {
      {"our reply", Datagram(0, us, 0), ip, 0, 1, false},
      {"another process's reply", Datagram(0, us ^ 0x0101, 0), ip, 0, 0, true},
      {"another sequence", Datagram(0, us, 5), ip, 6, 1, true},
      {"ours but unreachable", Datagram(3, us, 9), ip, 9, 0, false},
      {"our own request on loopback", Datagram(8, us, 0), ip, 0, 0, true},
      {"exactly header + 12 bytes, options", Datagram(0, us, 0, 6, 0), ip, 0, 1, false},
      {"one byte short", Bytes(31, 0x45), ip, 0, 0, true},
      {"header length past the end", headerPastEnd, ip, 0, 0, true},
      {"datagram socket reply", Datagram(0, us, 3, 0), bare, 3, 1, false},
      {"short datagram socket reply", Bytes(11, 0), bare, 0, 0, true},
  };
  for (const auto& [what, datagram, framing, sequence, answer, waits] : cases) {
    SCOPED_TRACE(what);
    bool keepWaiting = !waits;
    EXPECT_EQ(DecodeEchoReply(datagram, framing, us, sequence, keepWaiting), answer);
    EXPECT_EQ(keepWaiting, waits);
    // The probe takes only what ends the wait, and only from the probed address: our reply, or
    // the network's unexpected answer.
    const auto taken = TakeEchoReply(datagram, 7, 7, framing, us, sequence, {});
    ASSERT_EQ(taken.has_value(), !waits);
    if (taken) {
      EXPECT_EQ(answer ? (*taken)->responderAddress : taken->Failure().system, answer ? 7u : kEchoErrorUnexpectedNetwork);
    }
    EXPECT_FALSE(TakeEchoReply(datagram, 8, 7, framing, us, sequence, {}));
  }
}

}  // namespace
}  // namespace corvelle
