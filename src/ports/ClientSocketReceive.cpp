// SPDX-License-Identifier: MIT
// The client socket's parts that every platform shares: the bounded receive loop, what a failed
// read returns, the printer's close, the received text, and no sending once the printer closed.
#include <algorithm>
#include <cerrno>

#include "ports/ClientSocket.h"

namespace corvelle {
namespace {

// Reads per PollReceive, so a printer that floods replies cannot hold the port forever.
constexpr int kMaxReadsPerPoll = 256;

}  // namespace

Outcome CClientSocket::PollReceive() {
  char buffer[kReceiveChunk];
  for (int reads = 0; reads < kMaxReadsPerPoll && m_fd != kNoHandle && !m_peerClosed; ++reads) {
    long n = 0;
    switch (ReadOnce(buffer, sizeof buffer, n)) {
      case Received::Bytes:
        KeepReceived(buffer, static_cast<std::size_t>(n));
        continue;
      case Received::Nothing:
        return {};
      case Received::Closed:
        // A reset is the printer going away too, which the next write reports.
        m_peerClosed = true;
        return {};
      case Received::Failed:
        return Outcome::SystemError(static_cast<int>(n));
    }
  }
  return {};
}

long CClientSocket::SendSome(const std::uint8_t* data, std::size_t size) {
  // Once the printer has closed its side, nothing more is handed to the socket.
  if (m_peerClosed) {
    errno = EPIPE;
    return -1;
  }
  return SendNow(data, size);
}

void CClientSocket::KeepReceived(char* bytes, std::size_t n) {
  std::replace(bytes, bytes + n, '\0', '\x01');
  m_strReceived.append(bytes, n);
  if (m_strReceived.size() > kReceivedTextLimit) m_strReceived.erase(0, m_strReceived.size() - kReceivedTextLimit);
  m_nReceived += static_cast<std::int64_t>(n);
}

}  // namespace corvelle
