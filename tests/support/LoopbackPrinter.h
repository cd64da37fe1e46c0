// SPDX-License-Identifier: MIT
// A printer that a test plays on 127.0.0.1, the same on Linux and on Windows: a listener, the
// printer's end of each connection it accepts (read, look for unread bytes, send, stall by not
// reading, reset), a printer that records what every connection carried, and a connected pair.
#pragma once

#include <atomic>
#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "base/NativeHandle.h"

namespace corvelle::test {

// The system calls under the kit, one file per platform.
namespace loopback {
NativeHandle Listen(int window, int& port);  // None() when it cannot
NativeHandle Connect(int port);
NativeHandle AcceptOn(NativeHandle listener);
bool Readable(NativeHandle socket, int ms);
long Receive(NativeHandle socket, char* buffer, std::size_t size);  // 0 at the end, < 0 on error
long SendNow(NativeHandle socket, const char* bytes, std::size_t size);  // < 0 when nothing went
std::size_t Unread(NativeHandle socket);
void MakeNonBlocking(NativeHandle socket);
void Close(NativeHandle socket, bool reset);
NativeHandle None();
int RefusedNumber();  // the system's error number of a refused connection
}  // namespace loopback

// The printer's end of one connection, closed when it goes.
class PrinterEnd {
 public:
  PrinterEnd() = default;
  explicit PrinterEnd(NativeHandle socket) : m_socket(socket) {}
  ~PrinterEnd() { Reset(false); }
  PrinterEnd(PrinterEnd&& other) noexcept : m_socket(std::exchange(other.m_socket, loopback::None())) {}
  PrinterEnd& operator=(PrinterEnd&& other) noexcept { std::swap(m_socket, other.m_socket); return *this; }

  bool Valid() const { return m_socket != loopback::None(); }
  NativeHandle Handle() const { return m_socket; }
  // Up to `count` bytes: what arrives while no gap between bytes lasts longer than `ms`.
  std::string Read(std::size_t count, int ms = 2000) const;
  // Whether bytes wait unread, now or within `ms`.
  bool Pending(int ms = 0) const { return loopback::Readable(m_socket, ms) && loopback::Unread(m_socket) > 0; }
  // As much of `bytes` as the connection takes without waiting; the count taken.
  std::size_t SendSome(std::string_view bytes) const {
    const long n = loopback::SendNow(m_socket, bytes.data(), bytes.size());
    return n > 0 ? static_cast<std::size_t>(n) : 0;
  }
  // Goes with a reset (by default), as a printer that drops the connection with bytes it never read.
  void Reset(bool reset = true) {
    if (Valid()) loopback::Close(std::exchange(m_socket, loopback::None()), reset);
  }

 private:
  NativeHandle m_socket = loopback::None();
};

class PrinterListener {
 public:
  // Listening on a free port of 127.0.0.1; the connections it accepts get a receive window of
  // `window` bytes (0: the system's).
  explicit PrinterListener(int window = 0);
  ~PrinterListener() { Close(); }
  PrinterListener(const PrinterListener&) = delete;
  PrinterListener& operator=(const PrinterListener&) = delete;

  // 0 when it could not listen.
  int Port() const { return m_port; }
  // "127.0.0.1:PORT".
  std::string Target() const { return "127.0.0.1:" + std::to_string(m_port); }
  // Whether a connection waits to be accepted within `ms`.
  bool Incoming(int ms) const { return m_socket.Valid() && loopback::Readable(m_socket.Handle(), ms); }
  // The next connection (invalid when none came within `ms`).
  PrinterEnd Accept(int ms = 2000) const {
    return Incoming(ms) ? PrinterEnd(loopback::AcceptOn(m_socket.Handle())) : PrinterEnd();
  }
  // From now on connections to the port are refused.
  void Close() { m_socket = PrinterEnd(); }

 private:
  int m_port = 0;  // before m_socket, which is made with it
  PrinterEnd m_socket;
};

// A loopback port nothing listens on.
inline int ClosedLoopbackPort() { return PrinterListener().Port(); }

// A printer that takes the connections one after another and keeps, connection by connection,
// every byte it was sent until the sender closed.
class RecordingPrinter {
 public:
  RecordingPrinter();
  ~RecordingPrinter();
  RecordingPrinter(const RecordingPrinter&) = delete;
  RecordingPrinter& operator=(const RecordingPrinter&) = delete;

  int Port() const { return m_listener.Port(); }
  std::string Target() const { return m_listener.Target(); }
  // Connections accepted so far, and what each finished one carried.
  int Accepted() const { return m_accepted.load(); }
  std::vector<std::string> Received() const;

 private:
  void Serve();

  PrinterListener m_listener;
  std::atomic<bool> m_done{false};
  std::atomic<int> m_accepted{0};
  mutable std::mutex m_mutex;
  std::vector<std::string> m_received;
  std::thread m_thread;
};

// A connected pair of loopback TCP sockets; `mine` does not block.
struct SocketPair {
  SocketPair();
  PrinterEnd mine, peer;
};
}  // namespace corvelle::test
