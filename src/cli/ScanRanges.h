// SPDX-License-Identifier: MIT
// What `corvelle-cli scan` looks at and what it prints: the addresses of the ranges the user
// names, and a line (or an inventory row) for each address that answered.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Outcome.h"

namespace corvelle::cli {

// The most addresses one scan takes in all: a /16.
inline constexpr std::size_t kMaxScanAddresses = 65536;

// The addresses of `ranges`, each "ADDR/PREFIX" (0 to 32) or one address, in any form inet_aton
// reads; host bits below the prefix are ignored. Each address once, in the order the ranges name
// them. A range of four addresses or more leaves out its network and broadcast addresses; a /31
// is a point-to-point link, both of whose addresses are hosts, and a /32 the one address. A failure
// with the reason for a range that cannot be read, or for more than kMaxScanAddresses in all
// (counted range by range).
Result<std::vector<std::uint32_t>> ScanAddresses(const std::vector<std::string>& ranges);

struct ScanAnswer {
  std::uint32_t address = 0;  // host order
  bool echo = false;          // an ICMP echo reply came from it
  bool open = false;          // its port took a TCP connection
};

// "ADDR:PORT\techo|no echo\topen|closed\n"; "" for an address that answered neither.
std::string ScanLine(const ScanAnswer& answer, int port);

// The inventory's header, and a row for an address that answered: name, site, selection and
// legacy empty, the address and port filled, enabled 1 when the port is open, else 0 (something
// answers there, but not a printer's port). "" for an address that answered neither.
inline constexpr const char* kInventoryHeader = "name,site,address,port,selection,legacy,enabled\n";
std::string InventoryRow(const ScanAnswer& answer, int port);

}  // namespace corvelle::cli
