// SPDX-License-Identifier: MIT
// The Unix socket between the bridge and the printer simulator.
#include "SimLink.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace kervusb {
namespace {

using Clock = std::chrono::steady_clock;

int MsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

}  // namespace

bool SimLink::Connect(const std::string& path, std::string* error) {
  Close();
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *error = "socket path too long";
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *error = std::strerror(errno);
    if (fd >= 0) ::close(fd);
    return false;
  }
  m_fd = fd;
  m_gone = false;
  return true;
}

SimLink::Result SimLink::Send(const std::uint8_t* bytes, std::size_t count, int timeoutMs, std::size_t& sent) {
  sent = 0;
  if (m_gone || m_fd < 0) return Result::Gone;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (sent < count) {
    const ssize_t n = ::send(m_fd, bytes + sent, count - sent, MSG_NOSIGNAL);
    if (n > 0) {
      sent += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
      m_gone = true;
      return Result::Gone;
    }
    pollfd room{m_fd, POLLOUT, 0};
    const int wait = timeoutMs > 0 ? MsLeft(deadline) : -1;
    if (wait == 0 || ::poll(&room, 1, wait) == 0) return Result::Timeout;
    if (room.revents & (POLLHUP | POLLERR)) {
      m_gone = true;
      return Result::Gone;
    }
  }
  return Result::Ok;
}

SimLink::Result SimLink::Receive(std::string& into, std::size_t limit, int waitMs) {
  if (m_gone || m_fd < 0) return Result::Gone;
  if (limit == 0) return Result::Timeout;
  pollfd ready{m_fd, POLLIN, 0};
  if (::poll(&ready, 1, waitMs) == 0) return Result::Timeout;
  char buffer[4096];
  const std::size_t room = limit < sizeof buffer ? limit : sizeof buffer;
  const ssize_t n = ::recv(m_fd, buffer, room, MSG_DONTWAIT);
  if (n > 0) {
    into.append(buffer, static_cast<std::size_t>(n));
    return Result::Ok;
  }
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return Result::Timeout;
  m_gone = true;
  return Result::Gone;
}

SimLink::Result SimLink::Discard() {
  std::string dropped;
  Result result;
  while ((result = Receive(dropped, 4096, 0)) == Result::Ok) dropped.clear();
  return result == Result::Gone ? Result::Gone : Result::Ok;
}

void SimLink::Close() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

}  // namespace kervusb
