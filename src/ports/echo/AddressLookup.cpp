// SPDX-License-Identifier: MIT
// Dotted decimal or a host name as an IPv4 address, with getaddrinfo on both platforms (on
// Windows once Winsock has started).
#include "ports/echo/AddressLookup.h"

#ifdef _WIN32
#include <ws2tcpip.h>
#else
#include <netdb.h>
#include <sys/socket.h>
#endif

#include "ports/echo/EchoProbe.h"
#include "ports/echo/EchoWire.h"

namespace corvelle {

Result<in_addr> LookUpIPv4Name(const std::string& name) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(name.c_str(), nullptr, &hints, &found);
  if (status != 0 || found == nullptr) {
    // The reason is taken before anything else can change errno (EAI_SYSTEM leaves it there).
    const int error = status != 0 ? LookUpErrorNumber(status) : kEchoErrorHostNotFound;
    if (found) ::freeaddrinfo(found);
    return EchoFailure(error);
  }
  const in_addr address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  ::freeaddrinfo(found);
  return address;
}

Result<sockaddr_in> ResolveIPv4(const std::string& text) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (ParseDottedIPv4(text, address.sin_addr)) return address;
  const auto found = LookUpIPv4Name(text);
  if (!found) return found.Failure();
  address.sin_addr = *found;
  return address;
}

}  // namespace corvelle
