// SPDX-License-Identifier: MIT
// What the download benchmarks run on: a Host on the real clock, optionally with the download's
// pauses taken out (waits during a pause return at once, others sleep for real so a socket still
// gets its linger), a progress view that notes when the bar last moved, a receiver
// process on 127.0.0.1 that reads and discards whatever each connection carries, and an image file.
#pragma once

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include "base/Host.h"
#include "download/Download.h"

namespace corvelle::bench {

class BenchHost : public Host {
 public:
  explicit BenchHost(bool skipPauses) : m_skipPauses(skipPauses) {}

  std::int64_t Now() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count() + m_skipped;
  }
  void WaitFor(std::int64_t ms, WaitMode) override {
    if (m_skipPauses && m_inPause) {
      m_skipped += ms;
      return;
    }
    ::poll(nullptr, 0, static_cast<int>(ms));
  }
  bool WaitForFd(int fd, FdEvent event, std::int64_t timeoutMs) override {
    pollfd p{fd, static_cast<short>(event == FdEvent::Readable ? POLLIN : POLLOUT), 0};
    return ::poll(&p, 1, static_cast<int>(timeoutMs)) > 0;
  }
  void PumpMessages() override {}
  MessageAnswer ShowMessage(const std::string&, MessageStyle) override { return MessageAnswer::Ok; }
  std::optional<std::string> AskSavePath(const SaveDialogRequest&) override { return std::nullopt; }
  void SetBusy(bool) override {}
  std::unique_ptr<ProgressView> CreateProgressView() override { return std::make_unique<View>(*this); }

  // When the progress bar last moved: the end of the latest chunk.
  std::chrono::steady_clock::time_point lastPosition;

 private:
  struct View : ProgressView {
    explicit View(BenchHost& host) : host(host) {}
    void SetMessage(const std::string&) override {}
    void SetRange(int, int) override {}
    void SetPosition(int) override { host.lastPosition = std::chrono::steady_clock::now(); }
    void SetStatus(const std::string&) override {}
    void ShowPause(int, bool) override { host.m_inPause = true; }
    void EndPause() override { host.m_inPause = false; }
    bool CancelRequested() const override { return false; }
    void ClearCancel() override {}
    BenchHost& host;
  };
  bool m_skipPauses;
  bool m_inPause = false;
  std::int64_t m_skipped = 0;
};

// The printer: a process of its own (as socat and a real printer are to the sender) that
// listens on 127.0.0.1, reads and discards whatever each connection carries, and ends with the
// object. A thread of the sender's own process would be woken onto the sender's processor after
// every send and make the download look slower than the wire is.
class LoopbackReceiver {
 public:
  LoopbackReceiver() {
    const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(listener, 8) != 0 ||
        ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
      std::perror("receiver");
      std::exit(1);
    }
    m_port = ntohs(address.sin_port);
    m_pid = ::fork();
    if (m_pid == 0) Serve(listener);
    ::close(listener);
  }
  ~LoopbackReceiver() {
    ::kill(m_pid, SIGTERM);
    ::waitpid(m_pid, nullptr, 0);
  }
  LoopbackReceiver(const LoopbackReceiver&) = delete;
  LoopbackReceiver& operator=(const LoopbackReceiver&) = delete;

  int Port() const { return m_port; }

 private:
  [[noreturn]] static void Serve(int listener) {
    static char buffer[1 << 16];
    for (;;) {
      const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
      if (fd < 0) continue;
      while (::read(fd, buffer, sizeof buffer) > 0) {
      }
      ::close(fd);
    }
  }

  int m_port = 0;
  pid_t m_pid = -1;
};

// A temporary image of `size` deterministic bytes, removed with the object.
class TempImage {
 public:
  explicit TempImage(std::size_t size) {
    char pattern[] = "/tmp/corvelle-download-bench-XXXXXX";
    const int fd = ::mkstemp(pattern);
    if (fd < 0) {
      std::perror("mkstemp");
      std::exit(1);
    }
    m_path = pattern;
    std::string bytes(size, '\0');
    for (std::size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i * 7 + (i >> 9));
    if (::write(fd, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) std::exit(1);
    ::close(fd);
  }
  ~TempImage() { ::unlink(m_path.c_str()); }
  TempImage(const TempImage&) = delete;
  TempImage& operator=(const TempImage&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

// A download over TCP/IP to `receiver`, whose address alone passes the reachability test.
inline DownloadRequest LoopbackRequest(Host& host, const LoopbackReceiver& receiver, const std::string& imagePath) {
  PortSettings settings;
  settings.portName = "TCP/IP";
  settings.ipAddress = "127.0.0.1";
  settings.ipPort = receiver.Port();
  PortEnvironment env;
  env.reachable = [](const std::string& address) { return address == "127.0.0.1"; };
  return {host, settings, env, imagePath, {}};
}

}  // namespace corvelle::bench
