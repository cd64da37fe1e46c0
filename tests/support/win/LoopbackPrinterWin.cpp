// SPDX-License-Identifier: MIT
// The loopback printer's system calls on Windows (Winsock, started once for the test program).
#include <winsock2.h>

#include "base/win/Winsock.h"
#include "support/LoopbackPrinter.h"

namespace corvelle::test::loopback {
namespace {

sockaddr_in Loopback(int port) {
  (void)win::WinsockReady();
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

SOCKET S(NativeHandle socket) { return static_cast<SOCKET>(socket); }

}  // namespace

NativeHandle None() { return static_cast<NativeHandle>(INVALID_SOCKET); }

int RefusedNumber() { return WSAECONNREFUSED; }

NativeHandle Listen(int window, int& port) {
  port = 0;
  sockaddr_in address = Loopback(0);
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  int length = sizeof address;
  if (s == INVALID_SOCKET ||
      (window > 0 &&
       ::setsockopt(s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&window), sizeof window) != 0) ||
      ::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(s, 8) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    if (s != INVALID_SOCKET) ::closesocket(s);
    return None();
  }
  port = ntohs(address.sin_port);
  return static_cast<NativeHandle>(s);
}

NativeHandle Connect(int port) {
  const sockaddr_in address = Loopback(port);
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s != INVALID_SOCKET && ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
    return static_cast<NativeHandle>(s);
  }
  if (s != INVALID_SOCKET) ::closesocket(s);
  return None();
}

NativeHandle AcceptOn(NativeHandle listener) {
  return static_cast<NativeHandle>(::accept(S(listener), nullptr, nullptr));
}

bool Readable(NativeHandle socket, int ms) {
  WSAPOLLFD p{S(socket), POLLRDNORM, 0};
  return ::WSAPoll(&p, 1, ms) > 0;
}

long Receive(NativeHandle socket, char* buffer, std::size_t size) {
  return ::recv(S(socket), buffer, static_cast<int>(size), 0);
}

void MakeNonBlocking(NativeHandle socket) {
  u_long on = 1;
  ::ioctlsocket(S(socket), FIONBIO, &on);
}

// Winsock has no per-call "do not wait": the socket stays non-blocking after its first send,
// which its reads do not mind, as they wait for readiness first.
long SendNow(NativeHandle socket, const char* bytes, std::size_t size) {
  MakeNonBlocking(socket);
  return ::send(S(socket), bytes, static_cast<int>(size), 0);
}

std::size_t Unread(NativeHandle socket) {
  u_long waiting = 0;
  return ::ioctlsocket(S(socket), FIONREAD, &waiting) == 0 ? waiting : 0;
}

void Close(NativeHandle socket, bool reset) {
  if (reset) {
    const linger hard{1, 0};
    ::setsockopt(S(socket), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  }
  ::closesocket(S(socket));
}

}  // namespace corvelle::test::loopback
