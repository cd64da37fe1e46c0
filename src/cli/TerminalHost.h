// SPDX-License-Identifier: MIT
// The Host of the command-line tool: real time, messages on stderr, Ctrl-C, SIGTERM and SIGHUP
// as STOP, save dialogs answered from the command line, and a progress bar on stderr.
#pragma once

#include <deque>
#include <string>

#include "base/Host.h"

namespace corvelle::cli {

class TerminalProgressView;

class TerminalHost : public Host {
 public:
  TerminalHost();
  ~TerminalHost() override;
  TerminalHost(const TerminalHost&) = delete;
  TerminalHost& operator=(const TerminalHost&) = delete;

  std::int64_t Now() override;
  void WaitFor(std::int64_t ms, WaitMode mode = WaitMode::Responsive) override;
  bool WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) override;
  void PumpMessages() override;
  // Writes the text and a newline to stderr. A question is answered from the queue
  // `answers` (Cancel when it is empty: a script cannot be asked).
  MessageAnswer ShowMessage(const std::string& text, MessageStyle style) override;
  // Each save dialog takes the next path of `savePaths`; none left counts as cancelled, once it
  // has said so (a script has no dialog to cancel, so the run would end without a reason).
  std::optional<std::string> AskSavePath(const SaveDialogRequest& request) override;
  void SetBusy(bool busy) override;
  std::unique_ptr<ProgressView> CreateProgressView() override;
  // Raised by Ctrl-C, SIGTERM and SIGHUP.
  const StopSignal* Stop() const override { return &m_stop; }
  // Writes the detail on stderr, on the line below its message.
  void ShowDetail(const std::string& text) override;

  // True once Ctrl-C, SIGTERM or SIGHUP arrived (the STOP of the command line).
  bool Interrupted() const;
  // What a long operation is doing now, shown beside the progress bar of the live progress view
  // (a line of its own when stderr is not a terminal); nothing when there is no progress view.
  void SetStep(const std::string& text);

  std::deque<MessageAnswer> answers;
  std::deque<std::string> savePaths;
  // No progress at all, only the messages (-q).
  bool quiet = false;

 private:
  // Sleeps until `fd` (or none: -1 on Linux, 0 on Windows) is ready, the time passes, or Ctrl-C.
  // True when ready.
  bool Sleep(NativeHandle fd, FdEvent event, std::int64_t ms, bool interruptible);

  friend class TerminalProgressView;
  TerminalProgressView* m_view = nullptr;
  StopSignal m_stop;
};

}  // namespace corvelle::cli
