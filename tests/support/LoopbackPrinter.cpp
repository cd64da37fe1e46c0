// SPDX-License-Identifier: MIT
// The loopback printer's own logic, over the system calls of LoopbackPrinterPosix.cpp or
// win/LoopbackPrinterWin.cpp: reads with a gap limit, the recording printer's thread, which
// looks every 20 ms whether the test has ended, and the socket pair.
#include "LoopbackPrinter.h"

#include <algorithm>
#include <utility>

namespace corvelle::test {

std::string PrinterEnd::Read(std::size_t count, int ms) const {
  std::string got;
  char buffer[65536];
  while (got.size() < count && loopback::Readable(m_socket, ms)) {
    const long n = loopback::Receive(m_socket, buffer, std::min(sizeof buffer, count - got.size()));
    if (n <= 0) break;
    got.append(buffer, static_cast<std::size_t>(n));
  }
  return got;
}

PrinterListener::PrinterListener(int window) : m_socket(loopback::Listen(window, m_port)) {}

RecordingPrinter::RecordingPrinter() {
  if (Port() != 0) m_thread = std::thread([this] { Serve(); });
}

RecordingPrinter::~RecordingPrinter() {
  m_done = true;
  if (m_thread.joinable()) m_thread.join();
}

std::vector<std::string> RecordingPrinter::Received() const {
  std::lock_guard<std::mutex> lock(m_mutex);
  return m_received;
}

void RecordingPrinter::Serve() {
  while (!m_done) {
    const PrinterEnd connection = m_listener.Accept(20);
    if (!connection.Valid()) continue;
    ++m_accepted;
    std::string bytes;
    char buffer[65536];
    for (;;) {
      if (!loopback::Readable(connection.Handle(), 20)) {
        if (m_done) break;
        continue;
      }
      const long n = loopback::Receive(connection.Handle(), buffer, sizeof buffer);
      if (n <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_received.push_back(std::move(bytes));
  }
}

SocketPair::SocketPair() {
  const PrinterListener listener;
  mine = PrinterEnd(loopback::Connect(listener.Port()));
  peer = listener.Accept();
  if (mine.Valid()) loopback::MakeNonBlocking(mine.Handle());
}

}  // namespace corvelle::test
