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

bool ParseDottedIPv4(const std::string& text, in_addr& address) {
  // inet_aton takes every form the C library reads (127.1, 0x7f.1), as the ping help says.
  return ::inet_aton(text.c_str(), &address) != 0;
}

int LookUpErrorNumber(int status) {
  return status == EAI_SYSTEM ? errno : status == EAI_MEMORY ? ENOMEM : kEchoErrorHostNotFound;
}

Result<EchoSocket> OpenEchoSocket() {
  EchoSocket result;
  result.fd = UniqueFd(::socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP));
  if (result.fd.Valid()) return result;
  // Only a missing right to raw sockets has the datagram socket as a way out.
  if (errno != EPERM && errno != EACCES) return EchoFailure(errno);
  result.fd = UniqueFd(::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, IPPROTO_ICMP));
  result.framing = EchoFraming::Bare;
  if (!result.fd.Valid()) return EchoFailure(errno);
  return result;
}

Outcome BindLocal(int fd, const std::string& text) {
  const auto local = ResolveIPv4(text);
  if (!local) return local.Failure();
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&*local), sizeof *local) != 0) return EchoFailure(errno);
  return {};
}

Result<bool> IsReadable(int fd, std::uint32_t limitMs, int stopFd) {
  pollfd watched[2] = {{fd, POLLIN, 0}, {stopFd, POLLIN, 0}};
  // ppoll takes the whole 32-bit range of limits, which poll's int milliseconds do not.
  const timespec limit{static_cast<time_t>(limitMs / 1000), static_cast<long>(limitMs % 1000) * 1000000L};
  const int ready = ::ppoll(watched, stopFd >= 0 ? 2 : 1, &limit, nullptr);
  if (ready < 0 && errno == EINTR) return false;
  if (ready < 0) return EchoFailure(errno);
  if (ready > 0 && (watched[0].revents & POLLNVAL)) return EchoFailure(EBADF);
  if (stopFd >= 0 && (watched[1].revents & POLLIN) != 0) return EchoFailure(ECANCELED);
  // A pending socket error also counts: receiving it clears it.
  return watched[0].revents != 0;
}

}  // namespace corvelle
