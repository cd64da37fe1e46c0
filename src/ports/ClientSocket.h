// SPDX-License-Identifier: MIT
// The stream socket to a TCP/IP printer. It connects without blocking the surroundings, and it
// drains whatever the printer sends, so that the connection never stalls on unread replies.
// The device port owns it; when the printer closes its side the socket is only marked closed.
// The system calls are in ClientSocketPosix.cpp and win/ClientSocketWin.cpp (Winsock); the
// receive loop and the received text are shared (ClientSocketReceive.cpp).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

#include "base/NativeHandle.h"
#include "base/Outcome.h"

namespace corvelle {

class Host;

class CClientSocket {
 public:
  // Most bytes of received text kept: the newest ones.
  static constexpr std::size_t kReceivedTextLimit = 64 * 1024;
  static constexpr std::size_t kReceiveChunk = 4096;
  static constexpr std::int64_t kConnectLimitMs = 30'000;

  explicit CClientSocket(Host& host);
  ~CClientSocket();
  CClientSocket(const CClientSocket&) = delete;
  CClientSocket& operator=(const CClientSocket&) = delete;

  // A non-blocking IPv4 stream socket on any local port; a failure carries the system's error
  // number (errno, on Windows the Winsock error) in `system` and no text.
  Outcome Create();
  // Connects to `address` (dotted decimal or a host name) and `port` (as an unsigned 16-bit
  // number), sleeping on the host until the connection is made or refused, kConnectLimitMs pass,
  // or `cancelled` returns true (Stopped). A failure carries the error number in `system` (a
  // name that does not resolve: EHOSTUNREACH, on Windows WSAHOST_NOT_FOUND) and no text.
  Outcome Connect(const std::string& address, int port, const std::function<bool()>& cancelled);
  // Linger on with 10 s; send buffer 2 MiB. Failures are ignored.
  void SetOptions();

  // Reads what has arrived, kReceiveChunk bytes at a time: bytes are counted and kept with zero
  // bytes shown as 0x01; the printer's close or reset marks the socket closed by the printer; a
  // failed read ends the poll with the system's error number.
  Outcome PollReceive();

  // Hands the socket as many of `size` bytes as it takes now, without blocking: the count taken,
  // or -1 with errno set (EAGAIN/EWOULDBLOCK when it takes none now, EPIPE once the printer has
  // closed its side, ECONNRESET after a reset, else the system's error number).
  long SendSome(const std::uint8_t* data, std::size_t size);

  bool PeerClosed() const { return m_peerClosed; }
  NativeHandle Descriptor() const { return m_fd; }

  // Bytes handed to the socket that the printer has not acknowledged yet; 0 where the system does
  // not tell (Windows).
  long Unsent() const;
  // Sleeps on the host until the printer has taken every byte handed to the socket, for as long
  // as the unsent count keeps falling; `whileWaiting` runs after every sleep. Ok when all was
  // taken; Stopped when `cancelled` said so; else a failure whose `system` is ECONNRESET when the
  // printer reset or closed the connection first, ETIMEDOUT when the count did not fall for
  // `stallMs`. Ok at once where the count cannot be seen.
  Outcome WaitUntilSent(std::int64_t stallMs, const std::function<bool()>& cancelled,
                        const std::function<void()>& whileWaiting);
  // Stops receiving and sending and lets what is still unsent leave while it keeps leaving (see
  // WaitUntilSent; `cancelled` ends it), then closes. Ok when the printer took every byte; else a
  // failure whose `system` says why not: ECONNRESET when it reset or closed the connection first,
  // ETIMEDOUT when bytes were still unsent when the wait ended, or the system's error number. The
  // socket is closed either way. `receive` reads what the printer sent, as the caller polls it
  // (saying a failed read); Windows runs it first, so that a reset shows.
  Outcome CloseWhenSent(std::int64_t lingerMs, const std::function<bool()>& cancelled,
                        const std::function<void()>& receive);
  // Tells the printer that nothing more will be sent (the end of the stream goes behind what is
  // queued); receiving goes on. Nothing on Windows, whose lingering close sends it.
  void EndOutput();
  // Closes at once; what is still unsent is discarded.
  void Discard();

  std::int64_t ReceivedCount() const { return m_nReceived; }
  const std::string& ReceivedText() const { return m_strReceived; }

  // A short text for an error number of this socket's (errno, on Windows also Winsock's).
  static std::string ErrorText(int error);

 private:
  // What one read of the socket found.
  enum class Received { Bytes, Nothing, Closed, Failed };
  // One read without blocking into `buffer`: Bytes with their count in `n`; Nothing when none
  // waits; Closed when the printer closed or reset the connection; Failed with the system's error
  // number in `n`. The platform's side.
  Received ReadOnce(char* buffer, std::size_t size, long& n);
  // Hands the socket what it takes of `size` bytes now, as SendSome says. The platform's side.
  long SendNow(const std::uint8_t* data, std::size_t size);
  // Counts `n` received bytes and keeps them as text, zero bytes shown as 0x01.
  void KeepReceived(char* bytes, std::size_t n);

  Host& m_host;
  NativeHandle m_fd = kNoHandle;
  // The printer reset the connection (a receive or the socket's state said so): what was unsent
  // is lost.
  bool m_reset = false;
  // EndOutput was called: the end of the stream has gone behind the last bytes.
  bool m_outputEnded = false;
  bool m_peerClosed = false;
  std::int64_t m_nReceived = 0;
  std::string m_strReceived;
};

}  // namespace corvelle
