// SPDX-License-Identifier: MIT
// The stand-in TCP/IP printer: one thread takes the connections one after another, each read
// until its sender closes, looking every 20 ms whether the test has ended.
#include "LoopbackListener.h"

#include <winsock2.h>

namespace corvelle::test {
namespace {

sockaddr_in Loopback() {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return address;
}

// Bound to an ephemeral loopback port, whose number goes to `port`.
SOCKET BoundSocket(int& port) {
  WSADATA data;
  ::WSAStartup(MAKEWORD(2, 2), &data);
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  sockaddr_in address = Loopback();
  int length = sizeof address;
  if (s == INVALID_SOCKET || ::bind(s, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(s, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    port = 0;
    return s;
  }
  port = ntohs(address.sin_port);
  return s;
}

bool Readable(SOCKET s) {
  WSAPOLLFD p{s, POLLRDNORM, 0};
  return ::WSAPoll(&p, 1, 20) > 0;
}

}  // namespace

LoopbackListener::LoopbackListener() {
  const SOCKET s = BoundSocket(m_port);
  m_socket = static_cast<std::uintptr_t>(s);
  if (m_port == 0 || ::listen(s, 8) != 0) {
    m_port = 0;
    return;
  }
  m_thread = std::thread([this] { Serve(); });
}

LoopbackListener::~LoopbackListener() {
  m_done = true;
  if (m_thread.joinable()) m_thread.join();
  ::closesocket(static_cast<SOCKET>(m_socket));
  ::WSACleanup();
}

std::vector<std::string> LoopbackListener::Received() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

void LoopbackListener::Serve() {
  const auto listener = static_cast<SOCKET>(m_socket);
  while (!m_done) {
    if (!Readable(listener)) continue;
    const SOCKET connection = ::accept(listener, nullptr, nullptr);
    if (connection == INVALID_SOCKET) continue;
    ++m_accepted;
    std::string bytes;
    char buffer[65536];
    for (;;) {
      if (!Readable(connection)) {
        if (m_done) break;
        continue;
      }
      const int n = ::recv(connection, buffer, sizeof buffer, 0);
      if (n <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
    ::closesocket(connection);
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.push_back(std::move(bytes));
  }
}

int ClosedLoopbackPort() {
  int port = 0;
  ::closesocket(BoundSocket(port));
  ::WSACleanup();
  return port;
}

SocketPair::SocketPair() : mine(INVALID_SOCKET), peer(INVALID_SOCKET) {
  int port = 0;
  const SOCKET listener = BoundSocket(port);
  ::listen(listener, 1);
  sockaddr_in address = Loopback();
  address.sin_port = htons(static_cast<u_short>(port));
  const SOCKET s = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  ::connect(s, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  mine = s;
  peer = ::accept(listener, nullptr, nullptr);
  ::closesocket(listener);
  u_long nonBlocking = 1;
  ::ioctlsocket(s, FIONBIO, &nonBlocking);
}

SocketPair::~SocketPair() {
  if (mine != INVALID_SOCKET) ::closesocket(mine);
  if (peer != INVALID_SOCKET) ::closesocket(peer);
  ::WSACleanup();
}

}  // namespace corvelle::test
