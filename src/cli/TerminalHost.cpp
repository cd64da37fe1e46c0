// SPDX-License-Identifier: MIT
// Terminal implementation of the Host seam.
#include "cli/TerminalHost.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <iostream>

namespace corvelle::cli {
namespace {

// Ctrl-C raises the flag and writes a byte into a pipe, so that any sleep wakes at once.
std::atomic<bool> g_interrupted{false};
int g_wakePipe[2] = {-1, -1};

extern "C" void OnInterrupt(int) {
  g_interrupted = true;
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(g_wakePipe[1], &byte, 1);
}

}  // namespace

// The progress window on stderr. On a terminal: one line redrawn in place with the message, a bar,
// the percentage and the current step. Otherwise (a log): a line per step, and a line at every
// tenth of the bar.
class TerminalProgressView : public ProgressView {
 public:
  explicit TerminalProgressView(TerminalHost& host) : m_host(host), m_tty(::isatty(STDERR_FILENO) != 0) {
    m_host.m_view = this;
  }
  ~TerminalProgressView() override {
    if (m_host.m_view == this) m_host.m_view = nullptr;
    if (m_tty && m_drawn) std::cerr << '\n';
  }
  TerminalProgressView(const TerminalProgressView&) = delete;
  TerminalProgressView& operator=(const TerminalProgressView&) = delete;

  void SetMessage(const std::string& text) override {
    m_message = text;
    Line(text);
  }
  void SetRange(int low, int high) override {
    m_low = low;
    m_high = high > low ? high : low + 1;
  }
  void SetPosition(int position) override {
    const int percent = std::clamp((position - m_low) * 100 / (m_high - m_low), 0, 100);
    if (percent == m_percent) return;
    const bool nextTenth = percent / 10 != std::max(m_percent, 0) / 10;
    m_percent = percent;
    if (m_tty) {
      Draw();
    } else if (nextTenth) {
      std::cerr << percent << "%" << std::endl;
    }
  }
  void SetStatus(const std::string& text) override { Line(text); }
  bool CancelRequested() const override { return g_interrupted; }
  void ClearCancel() override {}

  void SetStep(const std::string& text) {
    m_step = text;
    if (m_tty) {
      Draw();
    } else {
      std::cerr << text << std::endl;
    }
  }

 private:
  void Draw() {
    const int percent = std::max(m_percent, 0);
    const int filled = percent / 5;
    std::cerr << "\r\033[K" << m_message << " [" << std::string(static_cast<size_t>(filled), '#')
              << std::string(static_cast<size_t>(20 - filled), ' ') << "] " << percent << "%  " << m_step << std::flush;
    m_drawn = true;
  }
  void Line(const std::string& text) {
    if (m_tty && m_drawn) std::cerr << '\n';
    m_drawn = false;
    std::cerr << text << std::endl;
  }

  TerminalHost& m_host;
  bool m_tty;
  bool m_drawn = false;
  std::string m_message;
  std::string m_step;
  int m_low = 0;
  int m_high = 100;
  int m_percent = -1;
};

TerminalHost::TerminalHost() {
  if (g_wakePipe[0] < 0 && ::pipe2(g_wakePipe, O_CLOEXEC | O_NONBLOCK) != 0) g_wakePipe[0] = g_wakePipe[1] = -1;
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  // A printer that closes its connection must not kill the tool with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
}

TerminalHost::~TerminalHost() {
  ::signal(SIGINT, SIG_DFL);
  ::signal(SIGTERM, SIG_DFL);
}

std::int64_t TerminalHost::Now() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool TerminalHost::Sleep(int fd, FdEvent event, std::int64_t ms, bool interruptible) {
  const std::int64_t end = Now() + std::max<std::int64_t>(ms, 0);
  for (;;) {
    if (interruptible && g_interrupted) return false;
    pollfd fds[2];
    nfds_t count = 0;
    if (fd >= 0) fds[count++] = {fd, static_cast<short>(event == FdEvent::Readable ? POLLIN : POLLOUT), 0};
    const nfds_t wakeIndex = count;
    if (interruptible && g_wakePipe[0] >= 0) fds[count++] = {g_wakePipe[0], POLLIN, 0};
    const std::int64_t left = end - Now();
    if (left <= 0 && fd < 0) return false;
    const int r = ::poll(fds, count, static_cast<int>(std::clamp<std::int64_t>(left, 0, 60'000)));
    if (r < 0 && errno != EINTR) return false;
    if (r > 0 && fd >= 0 && fds[0].revents != 0) return true;
    if (r > 0 && wakeIndex < count && (fds[wakeIndex].revents & POLLIN)) {
      char drain[16];
      while (::read(g_wakePipe[0], drain, sizeof drain) > 0) {
      }
    }
    if (left <= 0) return false;
  }
}

void TerminalHost::WaitFor(std::int64_t ms, WaitMode mode) { Sleep(-1, FdEvent::Readable, ms, mode == WaitMode::Responsive); }

bool TerminalHost::WaitForFd(int fd, FdEvent event, std::int64_t timeoutMs) { return Sleep(fd, event, timeoutMs, true); }

void TerminalHost::PumpMessages() {}

MessageAnswer TerminalHost::ShowMessage(const std::string& text, MessageStyle style) {
  std::cerr << text << std::endl;
  if (style != MessageStyle::Question) return MessageAnswer::Ok;
  if (answers.empty()) return MessageAnswer::Cancel;
  const MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<std::string> TerminalHost::AskSavePath(const SaveDialogRequest&) {
  if (savePaths.empty()) return std::nullopt;
  std::string path = savePaths.front();
  savePaths.pop_front();
  return path;
}

void TerminalHost::SetBusy(bool) {}

std::unique_ptr<ProgressView> TerminalHost::CreateProgressView() { return std::make_unique<TerminalProgressView>(*this); }

void TerminalHost::SetStep(const std::string& text) {
  if (m_view) m_view->SetStep(text);
}

bool TerminalHost::Interrupted() const { return g_interrupted; }

}  // namespace corvelle::cli
