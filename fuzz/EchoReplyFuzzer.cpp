// SPDX-License-Identifier: MIT
// The echo reply decoder: any datagram is answered without reading past it, an answer of 1 is
// only ever an echo reply carrying our identifier, only the awaited sequence ends the wait, and
// checksums verify.
#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/FuzzTargets.h"
#include "ports/echo/EchoWire.h"

using namespace corvelle;
using fuzz::Check;

int fuzz::FuzzEchoReply(const std::uint8_t* data, std::size_t size) {
  // The first five bytes choose the framing and the identifier and sequence awaited.
  if (size < 5) return 0;
  const EchoFraming framing = (data[0] & 1) ? EchoFraming::Bare : EchoFraming::IpHeader;
  const auto identifier = static_cast<std::uint16_t>(data[1] | data[2] << 8);
  const auto sequence = static_cast<std::uint16_t>(data[3] | data[4] << 8);
  // A copy of exactly the datagram's length, so that AddressSanitizer sees any read past it.
  const std::vector<std::uint8_t> datagram(data + 5, data + size);

  bool keepWaiting = false;
  const int result = DecodeEchoReply(datagram, framing, identifier, sequence, keepWaiting);
  Check(result == 0 || result == 1, "answer is 0 or 1");
  if (result == 1) {
    const std::size_t header = framing == EchoFraming::Bare ? 0 : 4u * (datagram[0] & 0x0F);
    Check(datagram.size() >= header + kEchoHeaderSize, "a reply holds a whole header");
    Check(datagram[header] == kIcmpEchoReply, "a reply is an echo reply");
    Check((datagram[header + 4] | datagram[header + 5] << 8) == identifier, "a reply carries our identifier");
    // A reply to another sequence answers 1 too, but the wait goes on and the answer does not count.
    const bool awaited = (datagram[header + 6] | datagram[header + 7] << 8) == sequence;
    Check(keepWaiting != awaited, "only the awaited reply ends the wait");
  }

  // A message with its checksum stored low byte first checks to zero.
  std::vector<std::uint8_t> message(datagram.begin(), datagram.end() - (datagram.size() % 2));
  const std::uint16_t checksum = InternetChecksum(message);
  message.push_back(static_cast<std::uint8_t>(checksum & 0xFF));
  message.push_back(static_cast<std::uint8_t>(checksum >> 8));
  Check(InternetChecksum(message) == 0, "stored checksum verifies");

  std::vector<std::uint8_t> request(kEchoHeaderSize + datagram.size() % (kEchoMaxPayload + 1));
  BuildEchoRequest(request, sequence);
  Check(InternetChecksum(request) == 0, "request checksum verifies");
  return 0;
}

CORVELLE_FUZZ_ENTRY(FuzzEchoReply)
