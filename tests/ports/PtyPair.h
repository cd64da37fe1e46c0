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
  PtyPair() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master >= 0 && ::grantpt(m_master) == 0 && ::unlockpt(m_master) == 0) {
      const char* name = ::ptsname(m_master);
      if (name) m_slavePath = name;
    }
  }
  ~PtyPair() {
    StopReading();
    if (m_master >= 0) ::close(m_master);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  bool Ok() const { return !m_slavePath.empty(); }
  const std::string& SlavePath() const { return m_slavePath; }
  // Bytes from the printer's side into the line (XON, XOFF).
  void Send(char byte) { [[maybe_unused]] ssize_t n = ::write(m_master, &byte, 1); }

  // The printer's side goes away: the slave's writes fail from now on.
  void Hangup() {
    StopReading();
    if (m_master >= 0) ::close(m_master);
    m_master = -1;
  }

  // Collects what the port sends, on a thread, until StopReading.
  void StartReading() {
    m_reading = true;
    m_reader = std::thread([this] {
      char buffer[4096];
      while (m_reading) {
        pollfd p{m_master, POLLIN, 0};
        if (::poll(&p, 1, 10) <= 0) continue;
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0) continue;
        std::lock_guard lock(m_mutex);
        m_received.append(buffer, static_cast<std::size_t>(n));
      }
    });
  }
  void StopReading() {
    m_reading = false;
    if (m_reader.joinable()) m_reader.join();
  }
  std::string Received() {
    std::lock_guard lock(m_mutex);
    return m_received;
  }
  // Waits (really) up to `ms` for `count` bytes to have arrived.
  std::string ReceiveAtLeast(std::size_t count, int ms = 2000) {
    for (int waited = 0; waited < ms; waited += 5) {
      if (Received().size() >= count) break;
      ::usleep(5000);
    }
    return Received();
  }

 private:
  int m_master = -1;
  std::string m_slavePath;
  std::thread m_reader;
  std::atomic<bool> m_reading{false};
  std::mutex m_mutex;
  std::string m_received;
};

}  // namespace corvelle::test
