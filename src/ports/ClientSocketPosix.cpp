// SPDX-License-Identifier: MIT
// The client socket's system calls on POSIX: a non-blocking connect, reads, sends, and a close
// that watches the kernel's send queue drain.
#include "ports/ClientSocket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <linux/sockios.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/Host.h"
#include "ports/NameLookup.h"
#include "ports/OutputWait.h"

namespace corvelle {
namespace {

constexpr int kLingerSeconds = 10;
constexpr int kSendBufferBytes = 2 * 1024 * 1024;
constexpr std::int64_t kConnectStepMs = 50;

// Bytes still in the kernel's send queue (sent but not acknowledged included).
long UnsentBytes(int fd) {
  int queued = 0;
  if (fd < 0 || ::ioctl(fd, SIOCOUTQ, &queued) != 0) return 0;
  return queued;
}

// Whether the printer reset the connection (what was still queued is then lost). Once this
// end's output has ended, the connection also closes when the printer's end follows in order
// (the socket then waits out its time elsewhere); a reset then leaves its error on the socket.
bool WasReset(int fd, bool outputEnded) {
  tcp_info info{};
  socklen_t length = sizeof info;
  if (fd < 0 || ::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &length) != 0 || info.tcpi_state != TCP_CLOSE) return false;
  if (!outputEnded) return true;
  int error = 0;
  length = sizeof error;
  return ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) == 0 && error != 0;
}

}  // namespace

CClientSocket::CClientSocket(Host& host) : m_host(host) {}

// Never lingers here: a socket dropped without the port's Close discards what it could not send.
CClientSocket::~CClientSocket() { Discard(); }

Outcome CClientSocket::Create() {
  m_fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  return m_fd < 0 ? Outcome::SystemError(errno) : Outcome{};
}

Outcome CClientSocket::Connect(const std::string& address, int port, const std::function<bool()>& cancelled) {
  sockaddr_in peer{};
  peer.sin_family = AF_INET;
  peer.sin_port = htons(static_cast<std::uint16_t>(static_cast<unsigned>(port)));
  const auto resolved = ResolveIPv4Text(address);
  if (!resolved) return Outcome::SystemError(EHOSTUNREACH);
  peer.sin_addr.s_addr = htonl(*resolved);
  if (::connect(m_fd, reinterpret_cast<const sockaddr*>(&peer), sizeof peer) == 0) return {};
  if (errno != EINPROGRESS && errno != EINTR) return Outcome::SystemError(errno);
  const std::int64_t deadline = m_host.Now() + kConnectLimitMs;
  for (;;) {
    if (m_host.WaitForFd(m_fd, FdEvent::Writable, kConnectStepMs)) {
      int error = 0;
      socklen_t length = sizeof error;
      if (::getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) return Outcome::SystemError(errno);
      return error == 0 ? Outcome{} : Outcome::SystemError(error);
    }
    if (cancelled && cancelled()) return Outcome::Stop();
    if (m_host.Now() >= deadline) return Outcome::SystemError(ETIMEDOUT);
  }
}

void CClientSocket::SetOptions() {
  const linger on{1, kLingerSeconds};
  ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &on, sizeof on);
  ::setsockopt(m_fd, SOL_SOCKET, SO_SNDBUF, &kSendBufferBytes, sizeof kSendBufferBytes);
}

CClientSocket::Received CClientSocket::ReadOnce(char* buffer, std::size_t size, long& n) {
  pollfd p{m_fd, POLLIN, 0};
  if (::poll(&p, 1, 0) <= 0 || !(p.revents & (POLLIN | POLLHUP | POLLERR))) return Received::Nothing;
  n = ::recv(m_fd, buffer, size, MSG_DONTWAIT);
  if (n > 0) return Received::Bytes;
  if (n == 0) return Received::Closed;
  // The recv has taken the error a reset left on the socket: it is kept here.
  if (errno == ECONNRESET) {
    m_reset = true;
    return Received::Closed;
  }
  if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return Received::Nothing;
  n = errno;
  return Received::Failed;
}

long CClientSocket::SendNow(const std::uint8_t* data, std::size_t size) {
  return ::send(m_fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
}

// Once the output has ended, the send queue counts the end of the stream as one more byte until
// the printer acknowledges it; what it has not taken of the bytes is one less.
long CClientSocket::Unsent() const {
  const long queued = UnsentBytes(m_fd);
  return m_outputEnded && queued > 0 ? queued - 1 : queued;
}

Outcome CClientSocket::WaitUntilSent(std::int64_t stallMs, const std::function<bool()>& cancelled,
                                     const std::function<void()>& whileWaiting) {
  StallWatch watch(m_host, stallMs);
  // A near printer has taken the last bytes within a millisecond or two, a far one takes its
  // time: the first look comes after 1 ms, each later one twice as late, up to kWriteWaitStepMs.
  std::int64_t step = 1;
  for (;;) {
    // After a reset the send queue still counts what was lost, so the reset itself ends the wait.
    // The error a reset leaves is read once: what it said is kept.
    if (m_reset || WasReset(m_fd, m_outputEnded)) {
      m_reset = true;
      return Outcome::SystemError(ECONNRESET);
    }
    const long unsent = Unsent();
    if (unsent == 0) return {};
    if (m_peerClosed) return Outcome::SystemError(ECONNRESET);
    if (cancelled && cancelled()) return Outcome::Stop();
    if (watch.Stalled(unsent)) return Outcome::SystemError(ETIMEDOUT);
    // Once the stream has ended, a printer that closes then acknowledges the last bytes with its
    // close, which ends the sleep (what it sends meanwhile is read after each one).
    if (m_outputEnded && whileWaiting && !m_peerClosed) {
      m_host.WaitForFd(m_fd, FdEvent::Readable, step);
    } else {
      m_host.WaitFor(step);
    }
    step = std::min(step * 2, kWriteWaitStepMs);
    if (whileWaiting) whileWaiting();
  }
}

void CClientSocket::EndOutput() {
  if (m_fd == kNoHandle) return;
  ::shutdown(m_fd, SHUT_WR);
  m_outputEnded = true;
}

Outcome CClientSocket::CloseWhenSent(std::int64_t lingerMs, const std::function<bool()>& cancelled,
                                     const std::function<void()>&) {
  if (m_fd == kNoHandle) return {};
  // As a lingering close does, the end of the stream follows the last bytes at once: the printer
  // acknowledges it, and them, without waiting for its delayed-acknowledgement timer.
  ::shutdown(m_fd, SHUT_RDWR);
  m_outputEnded = true;
  const Outcome sent = WaitUntilSent(lingerMs, cancelled, {});
  Discard();
  return sent.Stopped() ? Outcome::SystemError(ETIMEDOUT) : sent;
}

void CClientSocket::Discard() {
  if (m_fd == kNoHandle) return;
  if (Unsent() > 0) {
    const linger hard{1, 0};
    ::setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &hard, sizeof hard);
  }
  ::shutdown(m_fd, SHUT_RD);
  ::close(m_fd);
  m_fd = kNoHandle;
}

std::string CClientSocket::ErrorText(int error) { return std::strerror(error); }

}  // namespace corvelle
