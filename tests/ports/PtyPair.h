// A pseudo-terminal pair standing in for a serial line: the port opens the slave through the
// "Devices" mapping, the test plays the printer on the master.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <thread>

namespace corvelle::test {

class PtyPair {
 public:
  PtyPair() : m_master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC)) {
    if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0 && ::ptsname(m_master)) {
      m_slavePath = ::ptsname(m_master);
    }
  }
  ~PtyPair() {
    m_reading = false;
    if (m_reader.joinable()) m_reader.join();
    if (m_master >= 0) ::close(m_master);
  }

  bool Ok() const { return !m_slavePath.empty(); }
  const std::string& SlavePath() const { return m_slavePath; }
  // Bytes from the printer's side into the line (XON, XOFF).
  void Send(char byte) { [[maybe_unused]] ssize_t n = ::write(m_master, &byte, 1); }
  // Collects what the port sends, on a thread, until the pair goes.
  void StartReading() {
    m_reading = true;
    m_reader = std::thread([this] {
      char buffer[4096];
      pollfd p{m_master, POLLIN, 0};
      while (m_reading) {
        const ssize_t n = ::poll(&p, 1, 10) > 0 ? ::read(m_master, buffer, sizeof buffer) : 0;
        std::lock_guard lock(m_mutex);
        if (n > 0) m_received.append(buffer, static_cast<std::size_t>(n));
      }
    });
  }
  std::string Received() {
    std::lock_guard lock(m_mutex);
    return m_received;
  }
  // Waits (really) up to `ms` for `count` bytes to have arrived.
  std::string ReceiveAtLeast(std::size_t count, int ms = 2000) {
    for (int waited = 0; waited < ms && Received().size() < count; waited += 5) ::usleep(5000);
    return Received();
  }

 private:
  const int m_master;
  std::string m_slavePath;
  std::thread m_reader;
  std::atomic<bool> m_reading{false};
  std::mutex m_mutex;
  std::string m_received;
};

}  // namespace corvelle::test
