// SPDX-License-Identifier: MIT
// The loopback printer's system calls on Linux.
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>

#include "LoopbackPrinter.h"

namespace corvelle::test::loopback {
namespace {

sockaddr_in Loopback(int port) {
  return sockaddr_in{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
}

}  // namespace

NativeHandle None() { return -1; }

int RefusedNumber() { return ECONNREFUSED; }

NativeHandle Listen(int window, int& port) {
  port = 0;
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = Loopback(0);
  socklen_t length = sizeof address;
  if (s < 0 || (window > 0 && ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, &window, sizeof window) != 0) ||
      ::bind(s, reinterpret_cast<sockaddr*>(&address), length) != 0 || ::listen(s, 8) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (s >= 0) ::close(s);
    return None();
  }
  port = ntohs(address.sin_port);
  return s;
}

NativeHandle Connect(int port) {
  const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = Loopback(port);
  if (s >= 0 && ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) return s;
  if (s >= 0) ::close(s);
  return None();
}

NativeHandle AcceptOn(NativeHandle listener) { return ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC); }

bool Readable(NativeHandle socket, int ms) {
  pollfd p{socket, POLLIN, 0};
  return ::poll(&p, 1, ms) > 0;
}

long Receive(NativeHandle socket, char* buffer, std::size_t size) { return ::recv(socket, buffer, size, 0); }

long SendNow(NativeHandle socket, const char* bytes, std::size_t size) {
  return ::send(socket, bytes, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

std::size_t Unread(NativeHandle socket) {
  int waiting = 0;
  return ::ioctl(socket, FIONREAD, &waiting) == 0 && waiting > 0 ? static_cast<std::size_t>(waiting) : 0;
}

void MakeNonBlocking(NativeHandle socket) {
  const int one = 1;
  ::ioctl(socket, FIONBIO, &one);
}

void Close(NativeHandle socket, bool reset) {
  if (reset) {
    const linger hard{1, 0};
    ::setsockopt(socket, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }
  ::close(socket);
}

}  // namespace corvelle::test::loopback
