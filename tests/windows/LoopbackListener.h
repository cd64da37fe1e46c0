// SPDX-License-Identifier: MIT
// A stand-in TCP/IP printer for the Windows tests: a Winsock listener on 127.0.0.1 that keeps,
// connection by connection, every byte it was sent until the sender closed.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/NativeHandle.h"

namespace corvelle::test {

class LoopbackListener {
 public:
  LoopbackListener();
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  // The port it listens on (0 when it could not listen).
  int Port() const { return m_port; }
  // "127.0.0.1:PORT".
  std::string Target() const { return "127.0.0.1:" + std::to_string(m_port); }
  // Connections accepted so far, and what each finished one carried.
  int Accepted() const { return m_accepted.load(); }
  std::vector<std::string> Received() const;

 private:
  void Serve();

  std::uintptr_t m_socket;
  int m_port = 0;
  std::atomic<bool> m_done{false};
  std::atomic<int> m_accepted{0};
  mutable std::mutex m_mutex;
  std::vector<std::string> m_received;
  std::thread m_thread;
};

// A loopback port nothing listens on: bound, then closed again.
int ClosedLoopbackPort();

// A connected pair of loopback TCP sockets; `mine` is non-blocking.
struct SocketPair {
  SocketPair();
  ~SocketPair();
  SocketPair(const SocketPair&) = delete;
  SocketPair& operator=(const SocketPair&) = delete;
  NativeHandle Mine() const { return static_cast<NativeHandle>(mine); }
  std::uintptr_t mine, peer;  // SOCKETs
};

}  // namespace corvelle::test
