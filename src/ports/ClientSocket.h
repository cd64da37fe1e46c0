// SPDX-License-Identifier: MIT
// The stream socket to a TCP/IP printer. It connects without blocking the surroundings, and it
// drains whatever the printer sends, so that the connection never stalls on unread replies.
// The device port owns it; when the printer closes its side the socket is only marked closed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

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

  // A non-blocking IPv4 stream socket on any local port; false with the errno value in `error`.
  bool Create(int& error);
  // Connects to `address` (dotted decimal or a host name) and `port` (as an unsigned 16-bit
  // number), sleeping on the host until the connection is made or refused, kConnectLimitMs pass,
  // or `cancelled` returns true. Returns 0 or the errno value (ECANCELED when cancelled,
  // EHOSTUNREACH when the name does not resolve).
  int Connect(const std::string& address, int port, const std::function<bool()>& cancelled);
  // Linger on with 10 s; send buffer 2 MiB. Failures are ignored.
  void SetOptions();

  // Reads what has arrived, one notification's worth (kReceiveChunk bytes) at a time.
  void PollReceive();

  // Notification handlers. OnReceive reads once: a failure shows "Error number is %d"; a
  // reading of 0 bytes marks the socket closed by the printer; bytes are counted and kept with
  // zero bytes shown as 0x01. OnConnect shows a connection error (the socket's own Connect waits
  // for its result itself, so it never sends its failure here). OnClose marks the socket closed.
  void OnReceive();
  void OnConnect(int error);
  void OnClose();

  bool PeerClosed() const { return m_peerClosed; }
  int Descriptor() const { return m_fd; }
  // Bytes still in the kernel's send queue (sent but not acknowledged included).
  long UnsentBytes() const;
  // Whether the printer reset the connection (what was still queued is then lost).
  bool Reset() const;

  // Stops receiving, then closes. With `abort` unsent data is discarded instead of lingering.
  void Close(bool abort = false);

  std::int64_t ReceivedCount() const { return m_nReceived; }
  const std::string& ReceivedText() const { return m_strReceived; }

 private:
  Host& m_host;
  int m_fd = -1;
  bool m_peerClosed = false;
  std::int64_t m_nReceived = 0;
  std::string m_strReceived;
};

}  // namespace corvelle
