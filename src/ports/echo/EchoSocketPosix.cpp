// SPDX-License-Identifier: MIT
// Sockets, look-ups and timed waits for the echo probe.
#include "ports/echo/EchoSocket.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

#include "ports/echo/EchoProbe.h"

namespace corvelle {

std::optional<sockaddr_in> ResolveIPv4(const std::string& text) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = 0;
  if (::inet_aton(text.c_str(), &address.sin_addr) != 0) return address;

  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(text.c_str(), nullptr, &hints, &found);
  if (status != 0 || found == nullptr) {
    if (status == EAI_SYSTEM) {
      SetEchoLastError(errno);
    } else if (status == EAI_MEMORY) {
      SetEchoLastError(ENOMEM);
    } else {
      SetEchoLastError(kEchoErrorHostNotFound);
    }
    if (found) ::freeaddrinfo(found);
    return std::nullopt;
  }
  address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  ::freeaddrinfo(found);
  return address;
}

EchoSocket OpenEchoSocket() {
  EchoSocket result;
  result.fd = UniqueFd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
  if (result.fd.Valid()) return result;
  // Only a missing right to raw sockets has the datagram socket as a way out.
  if (errno != EPERM && errno != EACCES) {
    SetEchoLastError(errno);
    return result;
  }
  result.fd = UniqueFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
  result.framing = EchoFraming::Bare;
  if (!result.fd.Valid()) SetEchoLastError(errno);
  return result;
}

int BindLocal(int fd, const std::string& text) {
  const auto local = ResolveIPv4(text);
  if (!local) return 0;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&*local), sizeof *local) != 0) {
    SetEchoLastError(errno);
    return 0;
  }
  return 1;
}

int IsReadable(int fd, std::uint32_t limitMs, bool& readable, int stopFd, bool& stopped) {
  readable = false;
  stopped = false;
  pollfd watched[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
  // ppoll takes the whole 32-bit range of limits, which poll's int milliseconds do not.
  const timespec limit{static_cast<time_t>(limitMs / 1000), static_cast<long>(limitMs % 1000) * 1000000L};
  const int ready = ::ppoll(watched, stopFd >= 0 ? 2 : 1, &limit, nullptr);
  if (ready < 0 && errno == EINTR) return 1;
  if (ready < 0) {
    SetEchoLastError(errno);
    return 0;
  }
  if (ready > 0 && (watched[0].revents & POLLNVAL)) {
    SetEchoLastError(EBADF);
    return 0;
  }
  stopped = stopFd >= 0 && (watched[1].revents & POLLIN) != 0;
  // A pending socket error also counts: receiving it clears it.
  readable = (watched[0].revents) != 0;
  return 1;
}

}  // namespace corvelle
