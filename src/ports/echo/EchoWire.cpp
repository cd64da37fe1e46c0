// SPDX-License-Identifier: MIT
// Building the echo request and decoding received datagrams.
#include "ports/echo/EchoWire.h"

#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>

#include "ports/echo/EchoProbe.h"

namespace corvelle {
namespace {

constexpr std::size_t kTypeOffset = 0;
constexpr std::size_t kChecksumOffset = 2;
constexpr std::size_t kIdentifierOffset = 4;
constexpr std::size_t kSequenceOffset = 6;
constexpr std::size_t kTickOffset = 8;

void PutLe16(std::span<std::uint8_t> bytes, std::size_t offset, std::uint16_t value) {
  bytes[offset] = static_cast<std::uint8_t>(value & 0xFF);
  bytes[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint16_t GetLe16(std::span<const std::uint8_t> bytes, std::size_t offset) {
  return static_cast<std::uint16_t>(bytes[offset] | (bytes[offset + 1] << 8));
}

}  // namespace

std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes) {
  std::uint32_t sum = 0;
  std::size_t i = 0;
  for (; i + 1 < bytes.size(); i += 2) sum += GetLe16(bytes, i);
  if (i < bytes.size()) sum += bytes[i];
  std::uint32_t folded = (sum & 0xFFFF) + (sum >> 16);
  folded += folded >> 16;
  return static_cast<std::uint16_t>(~folded & 0xFFFF);
}

std::uint16_t ProcessIdentifier() { return static_cast<std::uint16_t>(::getpid() & 0xFFFF); }

std::uint16_t NextProbeIdentifier() {
  static std::atomic<unsigned> probes{0};
  return static_cast<std::uint16_t>((ProcessIdentifier() + probes.fetch_add(1)) & 0xFFFF);
}

std::uint32_t TickCount() {
  const auto since = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
}

void BuildEchoRequest(std::span<std::uint8_t> message, std::uint16_t sequence) {
  BuildEchoRequest(message, sequence, ProcessIdentifier());
}

void BuildEchoRequest(std::span<std::uint8_t> message, std::uint16_t sequence, std::uint16_t identifier) {
  std::fill(message.begin(), message.end(), kEchoPayloadByte);
  message[kTypeOffset] = kIcmpEchoRequest;
  message[1] = 0;
  PutLe16(message, kChecksumOffset, 0);
  PutLe16(message, kIdentifierOffset, identifier);
  PutLe16(message, kSequenceOffset, sequence);
  const std::uint32_t tick = TickCount();
  PutLe16(message, kTickOffset, static_cast<std::uint16_t>(tick & 0xFFFF));
  PutLe16(message, kTickOffset + 2, static_cast<std::uint16_t>(tick >> 16));
  PutLe16(message, kChecksumOffset, InternetChecksum(message));
}

int DecodeEchoReply(std::span<const std::uint8_t> datagram, EchoFraming framing, std::uint16_t identifier,
                    std::uint16_t sequence, bool& keepWaiting) {
  keepWaiting = true;
  // An empty datagram has no first byte to take the header length from.
  const std::size_t headerLength =
      framing == EchoFraming::Bare || datagram.empty() ? 0 : 4u * (datagram[0] & 0x0F);
  if (datagram.empty() || datagram.size() < headerLength + kEchoHeaderSize) return 0;
  const auto icmp = datagram.subspan(headerLength);
  if (GetLe16(icmp, kIdentifierOffset) != identifier) return 0;
  keepWaiting = GetLe16(icmp, kSequenceOffset) != sequence;
  const std::uint8_t type = icmp[kTypeOffset];
  if (type == kIcmpEchoRequest) {
    // A raw socket also receives the request we sent ourselves (on loopback): not an answer.
    keepWaiting = true;
    return 0;
  }
  return type == kIcmpEchoReply ? 1 : 0;
}

}  // namespace corvelle
