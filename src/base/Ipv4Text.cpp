// SPDX-License-Identifier: MIT
// Reading and writing IPv4 addresses as text, without the C library, so that every platform
// reads "127.1" as the same address.
#include "base/Ipv4Text.h"

#include <array>
#include <cctype>

namespace corvelle {
namespace {

// One part: its value, or nullopt when it is not a number in its base or exceeds 32 bits.
std::optional<std::uint64_t> ParsePart(std::string_view part) {
  unsigned base = 10;
  if (part.size() > 1 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    base = 16;
    part.remove_prefix(2);
  } else if (part.size() > 1 && part[0] == '0') {
    base = 8;
    part.remove_prefix(1);
  }
  if (part.empty()) return std::nullopt;
  std::uint64_t value = 0;
  for (const char c : part) {
    unsigned digit = 16;
    if (c >= '0' && c <= '9') digit = static_cast<unsigned>(c - '0');
    else if (c >= 'a' && c <= 'f') digit = static_cast<unsigned>(c - 'a' + 10);
    else if (c >= 'A' && c <= 'F') digit = static_cast<unsigned>(c - 'A' + 10);
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value > 0xFFFFFFFFu) return std::nullopt;
  }
  return value;
}

}  // namespace

std::optional<std::uint32_t> ParseIPv4(std::string_view text) {
  std::array<std::uint64_t, 4> parts{};
  std::size_t count = 0;
  for (;;) {
    const std::size_t dot = text.find('.');
    if (count == parts.size()) return std::nullopt;
    const auto part = ParsePart(text.substr(0, dot));
    if (!part) return std::nullopt;
    parts[count++] = *part;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  // Every part but the last is one byte; the last fills the bytes that are left.
  std::uint64_t address = 0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (parts[i] > 0xFF) return std::nullopt;
    address |= parts[i] << (24 - 8 * i);
  }
  const unsigned lastBits = 32 - 8 * static_cast<unsigned>(count - 1);
  if (lastBits < 32 && parts[count - 1] >> lastBits != 0) return std::nullopt;
  return static_cast<std::uint32_t>(address | parts[count - 1]);
}

std::string DottedDecimal(std::uint32_t address) {
  return std::to_string(address >> 24) + "." + std::to_string((address >> 16) & 0xFF) + "." +
         std::to_string((address >> 8) & 0xFF) + "." + std::to_string(address & 0xFF);
}

std::string AddressKey(std::string_view address) {
  if (const auto number = ParseIPv4(address)) return DottedDecimal(*number);
  std::string lower(address);
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return lower;
}

}  // namespace corvelle
