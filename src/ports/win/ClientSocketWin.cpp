// SPDX-License-Identifier: MIT
// The client socket over Winsock: a non-blocking connect waited on beside the stop event, receive
// draining, and a lingering close whose result decides whether the printer took every byte.
//
// Windows gives no count of the bytes a TCP socket has not yet delivered (no TIOCOUTQ):
// SIO_IDEAL_SEND_BACKLOG_QUERY tells how much to keep queued, not how much is queued, and
// SIO_TCP_INFO counts only the bytes in flight (and is missing under Wine). So the close relies
// on the lingering close itself: on a non-blocking socket closesocket says WSAEWOULDBLOCK until
// the unsent bytes have left, and a close that has not completed when the linger is up, or that
// fails, is a loss, never a success.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <climits>

#include "base/Host.h"
#include "ports/ClientSocket.h"
#include "ports/NameLookup.h"
#include "ports/OutputWait.h"
#include "base/win/Winsock.h"

namespace corvelle {
namespace {

constexpr u_short kLingerSeconds = 10;
constexpr int kSendBufferBytes = 2 * 1024 * 1024;
constexpr std::int64_t kConnectStepMs = 50;
// A lingering close that blocks (as Wine's does) and returns only this close to the linger time
// has run out of it.
constexpr std::int64_t kLingerRunOutMarginMs = 250;

SOCKET Sock(NativeHandle handle) { return static_cast<SOCKET>(handle); }

bool Lost(int error) {
  return error == WSAECONNRESET || error == WSAECONNABORTED || error == WSAENETRESET || error == WSAESHUTDOWN ||
         error == WSAENOTCONN;
}

}  // namespace

CClientSocket::CClientSocket(Host& host) : m_host(host) {}

CClientSocket::~CClientSocket() { Discard(); }

Outcome CClientSocket::Create() {
  if (const int error = win::WinsockReady(); error != 0) return Outcome::SystemError(error);
  const SOCKET s = ::WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0, 0);
  if (s == INVALID_SOCKET) return Outcome::SystemError(::WSAGetLastError());
  u_long nonBlocking = 1;
  if (::ioctlsocket(s, FIONBIO, &nonBlocking) != 0) {
    const int error = ::WSAGetLastError();
    ::closesocket(s);
    return Outcome::SystemError(error);
  }
  m_fd = static_cast<NativeHandle>(s);
  return {};
}

Outcome CClientSocket::Connect(const std::string& address, int port, const std::function<bool()>& cancelled) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<u_short>(static_cast<unsigned>(port)));
  const auto resolved = ResolveIPv4Text(address);
  if (!resolved) return Outcome::SystemError(WSAHOST_NOT_FOUND);
  peer.sin_addr.s_addr = htonl(*resolved);
  if (::connect(Sock(m_fd), reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return {};
  if (const int error = ::WSAGetLastError(); error != WSAEWOULDBLOCK) return Outcome::SystemError(error);
  const std::int64_t deadline = m_host.Now() + kConnectLimitMs;
  // A wait that said ready while the socket was still connecting (Wine's WSAPoll can) is followed
  // by a plain pause, so the loop never spins.
  bool readyTooSoon = false;
  for (;;) {
    if (readyTooSoon) {
      m_host.WaitFor(kConnectStepMs);
      readyTooSoon = false;
    } else if (m_host.WaitForFd(m_fd, FdEvent::Writable, kConnectStepMs)) {
      int error = 0;
      int length = sizeof error;
      if (::getsockopt(Sock(m_fd), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length) != 0) {
        return Outcome::SystemError(::WSAGetLastError());
      }
      if (error != 0) return Outcome::SystemError(error);
      // Writable with no error: connected, unless the wait woke for something else.
      sockaddr_in connected{};
      int size = sizeof connected;
      if (::getpeername(Sock(m_fd), reinterpret_cast<sockaddr*>(&connected), &size) == 0) return {};
      if (const int error = ::WSAGetLastError(); error != WSAENOTCONN) return Outcome::SystemError(error);
      readyTooSoon = true;
    }
    if (cancelled && cancelled()) return Outcome::Stop();
    if (m_host.Now() >= deadline) return Outcome::SystemError(WSAETIMEDOUT);
  }
}

void CClientSocket::SetOptions() {
  const linger on{1, kLingerSeconds};
  ::setsockopt(Sock(m_fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&on), sizeof on);
  ::setsockopt(Sock(m_fd), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&kSendBufferBytes),
               sizeof kSendBufferBytes);
}

CClientSocket::Received CClientSocket::ReadOnce(char* buffer, std::size_t size, long& n) {
  n = ::recv(Sock(m_fd), buffer, static_cast<int>(size), 0);
  if (n > 0) return Received::Bytes;
  if (n == 0) return Received::Closed;
  const int error = ::WSAGetLastError();
  if (error == WSAEWOULDBLOCK || error == WSAEINTR) return Received::Nothing;
  if (Lost(error)) {
    m_reset = true;
    return Received::Closed;
  }
  n = error;
  return Received::Failed;
}

long CClientSocket::SendNow(const std::uint8_t* data, std::size_t size) {
  const int n = ::send(Sock(m_fd), reinterpret_cast<const char*>(data), static_cast<int>(size < INT_MAX ? size : INT_MAX), 0);
  if (n >= 0) return n;
  const int error = ::WSAGetLastError();
  errno = error == WSAEWOULDBLOCK ? EWOULDBLOCK : error == WSAEINTR ? EINTR : Lost(error) ? ECONNRESET : error;
  return -1;
}

// No unsent count to watch (see above): the lingering close decides.
long CClientSocket::Unsent() const { return 0; }

Outcome CClientSocket::WaitUntilSent(std::int64_t, const std::function<bool()>&, const std::function<void()>&) {
  return {};
}

void CClientSocket::EndOutput() {}

Outcome CClientSocket::CloseWhenSent(std::int64_t lingerMs, const std::function<bool()>& cancelled,
                                     const std::function<void()>& receive) {
  if (m_fd == kNoHandle) return {};
  // What the printer sent is read first, so a reset shows. Receiving is not shut down: Windows
  // resets a connection on which data arrives after that, losing what is still unsent.
  receive();
  // Windows tells of a reset on a receive; Wine only on a send (its receive reads 0, as for an
  // orderly close), so a send of no bytes asks too.
  char none = 0;
  if (!m_reset && ::send(Sock(m_fd), &none, 0, 0) != 0 && Lost(::WSAGetLastError())) m_reset = true;
  if (m_reset) {
    Discard();
    return Outcome::SystemError(ECONNRESET);
  }
  const std::int64_t deadline = m_host.Now() + lingerMs;
  for (;;) {
    const auto start = std::chrono::steady_clock::now();
    if (::closesocket(Sock(m_fd)) == 0) {
      m_fd = kNoHandle;
      const auto blocked =
          std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
      return blocked + kLingerRunOutMarginMs >= lingerMs ? Outcome::SystemError(ETIMEDOUT) : Outcome{};
    }
    const int error = ::WSAGetLastError();
    if (error != WSAEWOULDBLOCK) {
      Discard();
      return Outcome::SystemError(Lost(error) ? ECONNRESET : error);
    }
    if (cancelled() || m_host.Now() >= deadline) {
      Discard();
      return Outcome::SystemError(ETIMEDOUT);
    }
    m_host.WaitFor(kWriteWaitStepMs);
  }
}

void CClientSocket::Discard() {
  if (m_fd == kNoHandle) return;
  const linger hard{1, 0};
  ::setsockopt(Sock(m_fd), SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  ::closesocket(Sock(m_fd));
  m_fd = kNoHandle;
}

std::string CClientSocket::ErrorText(int error) {
  // The errno values the socket reports itself, in the words the Linux build uses.
  switch (error) {
    case ETIMEDOUT: return "Connection timed out";
    case ECONNRESET: return "Connection reset by peer";
    case EPIPE: return "Broken pipe";
    case ECANCELED: return "Operation canceled";
    default: return win::SystemErrorText(error);
  }
}

}  // namespace corvelle
