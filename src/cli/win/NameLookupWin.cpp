// SPDX-License-Identifier: MIT
// Host names of printers looked up on Windows, once Winsock has started.
#include <winsock2.h>
#include <ws2tcpip.h>

#include "cli/FleetTargets.h"
#include "ports/echo/win/Winsock.h"

namespace corvelle::cli {

std::optional<std::uint32_t> LookUpIPv4(const std::string& name) {
  if (win::WinsockReady() != 0) return std::nullopt;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
  const std::uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(found);
  return address;
}

}  // namespace corvelle::cli
