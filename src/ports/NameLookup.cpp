// SPDX-License-Identifier: MIT
// Host names of printers looked up with the platform's resolver (on Windows once Winsock has
// started; the call is the same on both).
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>

#include "base/win/Winsock.h"
#else
#include <arpa/inet.h>
#endif

#include "ports/NameLookup.h"

#include "ports/echo/AddressLookup.h"

namespace corvelle {

std::optional<std::uint32_t> LookUpIPv4(const std::string& name) {
#ifdef _WIN32
  if (win::WinsockReady() != 0) return std::nullopt;
#endif
  const auto found = LookUpIPv4Name(name);
  if (!found) return std::nullopt;
  return ntohl(found->s_addr);
}

std::optional<std::uint32_t> ResolveIPv4Text(const std::string& text) {
  in_addr address{};
  if (::inet_pton(AF_INET, text.c_str(), &address) == 1) return ntohl(address.s_addr);
  return LookUpIPv4(text);
}

}  // namespace corvelle
