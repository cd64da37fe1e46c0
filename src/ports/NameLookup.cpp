// SPDX-License-Identifier: MIT
// Host names of printers looked up with the platform's resolver (on Windows once Winsock has
// started; the call is the same on both).
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include "base/win/Winsock.h"
#else
#include <arpa/inet.h>
#include <netdb.h>
#include <sys/socket.h>
#endif

#include "ports/NameLookup.h"

namespace corvelle {

std::optional<std::uint32_t> LookUpIPv4(const std::string& name) {
#ifdef _WIN32
  if (win::WinsockReady() != 0) return std::nullopt;
#endif
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(name.c_str(), nullptr, &hints, &found) != 0 || !found) return std::nullopt;
  const std::uint32_t address = ntohl(reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr);
  ::freeaddrinfo(found);
  return address;
}

std::optional<std::uint32_t> ResolveIPv4Text(const std::string& text) {
  in_addr address{};
  if (::inet_pton(AF_INET, text.c_str(), &address) == 1) return ntohl(address.s_addr);
  return LookUpIPv4(text);
}

}  // namespace corvelle
