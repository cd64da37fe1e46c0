// SPDX-License-Identifier: MIT
// Reading scan ranges, and the scan's output lines.
#include "cli/ScanRanges.h"

#include <unordered_set>

#include "base/Ipv4Text.h"

namespace corvelle::cli {
namespace {

// The prefix length of "/N": 0 to 32, decimal digits only.
std::optional<int> PrefixLength(const std::string& text) {
  if (text.empty() || text.size() > 2) return std::nullopt;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + (c - '0');
  }
  return value <= 32 ? std::optional<int>(value) : std::nullopt;
}

}  // namespace

Result<std::vector<std::uint32_t>> ScanAddresses(const std::vector<std::string>& ranges) {
  std::vector<std::uint32_t> addresses;
  std::unordered_set<std::uint32_t> seen;
  std::uint64_t total = 0;
  for (const std::string& range : ranges) {
    const std::size_t slash = range.find('/');
    const auto address = ParseIPv4(range.substr(0, slash));
    const auto prefix = slash == std::string::npos ? std::optional<int>(32) : PrefixLength(range.substr(slash + 1));
    if (!address || !prefix) {
      return Outcome::Failure("'" + range +
                              "' is not an IPv4 range (ADDR/PREFIX such as 192.0.2.0/24, or one address)");
    }
    const std::uint64_t size = std::uint64_t{1} << (32 - *prefix);
    if ((total += size) > kMaxScanAddresses) {
      return Outcome::Failure("at most " + std::to_string(kMaxScanAddresses) +
                              " addresses (a /16) are scanned in all; '" + range + "' makes " + std::to_string(total));
    }
    const std::uint32_t first = static_cast<std::uint32_t>(*address & ~(size - 1));
    // Below four addresses there is no network or broadcast address to leave out.
    const std::uint64_t skip = size >= 4 ? 1 : 0;
    for (std::uint64_t i = skip; i < size - skip; ++i) {
      const auto host = static_cast<std::uint32_t>(first + i);
      if (seen.insert(host).second) addresses.push_back(host);
    }
  }
  return addresses;
}

std::string ScanLine(const ScanAnswer& answer, int port) {
  if (!answer.echo && !answer.open) return "";
  return DottedDecimal(answer.address) + ":" + std::to_string(port) + "\t" + (answer.echo ? "echo" : "no echo") +
         "\t" + (answer.open ? "open" : "closed") + "\n";
}

std::string InventoryRow(const ScanAnswer& answer, int port) {
  if (!answer.echo && !answer.open) return "";
  return ",," + DottedDecimal(answer.address) + "," + std::to_string(port) + ",,," + (answer.open ? "1" : "0") + "\n";
}

}  // namespace corvelle::cli
