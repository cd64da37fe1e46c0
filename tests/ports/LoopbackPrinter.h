// A TCP printer on 127.0.0.1 for tests: it listens on a free port and serves each connection on
// a thread with a behaviour the test chooses (read everything, close early, send data back).
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>

namespace corvelle::test {

class LoopbackPrinter {
 public:
  // Serves one connection; Running() turns false when the test ends.
  using Behaviour = std::function<void(LoopbackPrinter& self, int fd)>;

  explicit LoopbackPrinter(Behaviour behaviour = ReadAll) : m_behaviour(std::move(behaviour)) {
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(m_listener, 4) != 0 ||
        ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      return;
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~LoopbackPrinter() {
    m_running = false;
    if (m_thread.joinable()) m_thread.join();
    ::close(m_listener);
  }
  LoopbackPrinter(const LoopbackPrinter&) = delete;
  LoopbackPrinter& operator=(const LoopbackPrinter&) = delete;

  int Port() const { return m_port; }
  bool Running() const { return m_running; }
  int Accepted() const { return m_accepted; }
  std::string Received() {
    std::lock_guard lock(m_mutex);
    return m_received;
  }
  void Append(const char* bytes, std::size_t n) {
    std::lock_guard lock(m_mutex);
    m_received.append(bytes, n);
  }
  // Waits (really) up to `ms` for `count` bytes, returning what arrived.
  std::string ReceiveAtLeast(std::size_t count, int ms = 2000) {
    for (int waited = 0; waited < ms && Received().size() < count; waited += 2) ::usleep(2000);
    return Received();
  }
  // Reads what the connection sends until the port closes it; returns false when the test ends.
  bool ReadSome(int fd) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 10) <= 0) return m_running;
    char buffer[65536];
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n <= 0) return false;
    Append(buffer, static_cast<std::size_t>(n));
    return true;
  }

  static void ReadAll(LoopbackPrinter& self, int fd) {
    while (self.ReadSome(fd)) {
    }
  }

 private:
  void Serve() {
    while (m_running) {
      pollfd p{m_listener, POLLIN, 0};
      if (::poll(&p, 1, 10) <= 0) continue;
      const int fd = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      ++m_accepted;
      m_behaviour(*this, fd);
      ::close(fd);
    }
  }

  Behaviour m_behaviour;
  int m_listener = -1;
  int m_port = 0;
  std::atomic<bool> m_running{true};
  std::atomic<int> m_accepted{0};
  std::thread m_thread;
  std::mutex m_mutex;
  std::string m_received;
};

}  // namespace corvelle::test
