// SPDX-License-Identifier: MIT
// Terminal implementation of the Host seam: the progress view and the messages; the waits and
// the STOP of Ctrl-C are the platform's (TerminalHostPosix.cpp, win/TerminalHostWin.cpp).
#include "cli/TerminalHost.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <iostream>

#include "cli/StatusLine.h"
#include "cli/TextSink.h"

namespace corvelle::cli {

constexpr const char* kNoOutputLeft =
    "The FILE port needs one more --output FILE: each opening writes its own file (an image opens the port 2 or 4 "
    "times).";

// The progress window on stderr. On a terminal: the message on a line of its own, below it one line
// redrawn in place with a bar, the percentage and the current step or the countdown of a pause,
// fitted to the terminal's width.
// Otherwise (a log): a line per step, and a line at every tenth of the bar. Quiet: nothing.
class TerminalProgressView : public ProgressView {
 public:
  explicit TerminalProgressView(TerminalHost& host)
      : m_host(host), m_quiet(host.quiet), m_tty(IsSmartTerminal(kStandardError)) {
    m_host.m_view = this;
  }
  ~TerminalProgressView() override {
    if (m_host.m_view == this) m_host.m_view = nullptr;
    if (m_tty && m_drawn) std::cerr << '\n';
  }
  TerminalProgressView(const TerminalProgressView&) = delete;
  TerminalProgressView& operator=(const TerminalProgressView&) = delete;

  void SetMessage(const std::string& text) override {
    Line(text);
  }
  void SetRange(int low, int high) override {
    m_low = low;
    m_high = high > low ? high : low + 1;
  }
  void SetPosition(int position) override {
    const int percent = std::clamp((position - m_low) * 100 / (m_high - m_low), 0, 100);
    if (percent == m_percent || m_quiet) return;
    const bool nextTenth = percent / 10 != std::max(m_percent, 0) / 10;
    m_percent = percent;
    if (m_tty) {
      Draw();
    } else if (nextTenth) {
      std::cerr << percent << "%" << std::endl;
    }
  }
  void SetStatus(const std::string& text) override { Line(text); }
  // Only a terminal counts the seconds down; a log has the step's line.
  void ShowPause(int secondsLeft, bool) override {
    m_pause = PauseText(secondsLeft);
    if (m_tty && !m_quiet) Draw();
  }
  void EndPause() override { m_pause.clear(); }
  bool CancelRequested() const override { return m_host.StopRequested(); }
  void ClearCancel() override {}

  // A message is about to be written: it starts on a line of its own.
  void BreakLine() {
    if (m_tty && m_drawn) std::cerr << '\n';
    m_drawn = false;
  }

  void SetStep(const std::string& text) {
    m_step = text;
    if (m_quiet) return;
    if (m_tty) {
      Draw();
    } else {
      std::cerr << text << std::endl;
    }
  }

 private:
  // The width is read on every redraw, so a resized window is filled again; one column stays
  // free, so that no terminal wraps the line.
  void Draw() {
    const std::size_t width = TerminalColumns(kStandardError) - 1;
    std::cerr << TerminalControl{"\r\033[K"} << ProgressLine(m_percent, m_pause.empty() ? m_step : m_pause, width)
              << std::flush;
    m_drawn = true;
  }
  void Line(const std::string& text) {
    if (m_quiet) return;
    if (m_tty && m_drawn) std::cerr << '\n';
    m_drawn = false;
    std::cerr << text << std::endl;
  }

  TerminalHost& m_host;
  const bool m_quiet;
  const bool m_tty;
  bool m_drawn = false;
  std::string m_step;
  std::string m_pause;  // the countdown while a pause runs
  int m_low = 0;
  int m_high = 100;
  int m_percent = -1;
};

std::int64_t TerminalHost::Now() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

void TerminalHost::PumpMessages() {}

void TerminalHost::ShowDetail(const std::string& text) {
  if (m_view) m_view->BreakLine();
  std::cerr << text << std::endl;
}

MessageAnswer TerminalHost::ShowMessage(const std::string& text, MessageStyle style) {
  if (m_view) m_view->BreakLine();
  std::cerr << text << std::endl;
  if (style != MessageStyle::Question) return MessageAnswer::Ok;
  if (answers.empty()) return MessageAnswer::Cancel;
  const MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<std::string> TerminalHost::AskSavePath(const SaveDialogRequest&) {
  if (savePaths.empty()) {
    ShowMessage(kNoOutputLeft, MessageStyle::Plain);
    return std::nullopt;
  }
  std::string path = savePaths.front();
  savePaths.pop_front();
  return path;
}

void TerminalHost::SetBusy(bool) {}

std::unique_ptr<ProgressView> TerminalHost::CreateProgressView() { return std::make_unique<TerminalProgressView>(*this); }

void TerminalHost::SetStep(const std::string& text) {
  if (m_view) m_view->SetStep(text);
}

bool TerminalHost::Interrupted() const { return m_stop.Raised(); }

}  // namespace corvelle::cli
