// SPDX-License-Identifier: MIT
// The surroundings a long operation runs in: time, waiting that keeps the windows alive,
// messages to the user, the choice of an output file, the busy cursor and the progress window.
// The window, the command-line tool and the tests each provide one.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "base/NativeHandle.h"
#include "base/Outcome.h"
#include "base/ProgressView.h"
#include "base/StopSignal.h"

namespace corvelle {

enum class MessageAnswer { Ok, Cancel };

enum class WaitMode {
  Responsive,  // windows repaint and take input (STOP works)
  PaintOnly,   // windows repaint but take no input
};

enum class FdEvent { Readable, Writable };

// What a save-file dialog is asked to offer.
struct SaveDialogRequest {
  std::string suggestedName;     // file name proposed to the user
  std::string defaultExtension;  // without the dot, added when the user types none
  std::string filter;            // "Description | *.ext||" as the string table holds it
  bool overwritePrompt = true;   // ask before replacing an existing file
  bool pathMustExist = true;     // the folder part must exist
};

class Host {
 public:
  virtual ~Host() = default;

  // Monotonic milliseconds; only differences are meaningful.
  virtual std::int64_t Now() = 0;

  // Sleeps about `ms` milliseconds while the surroundings stay alive. In Responsive mode it
  // returns early when the user asks to stop (the current progress view's cancel flag is raised,
  // or Ctrl-C in a terminal), so callers re-check their own condition after every return.
  virtual void WaitFor(std::int64_t ms, WaitMode mode = WaitMode::Responsive) = 0;

  // Sleeps until `fd` is ready for `event`, `timeoutMs` passes, or the user asks to stop, keeping
  // the surroundings alive meanwhile. True when the descriptor (on Windows: the socket) is ready.
  virtual bool WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) = 0;

  // Lets whatever events are waiting be handled now, without sleeping.
  virtual void PumpMessages() = 0;

  // A modal message. Only the Question style can answer Cancel.
  virtual MessageAnswer ShowMessage(const std::string& text, MessageStyle style) = 0;

  // A save-file dialog; nullopt when the user cancels.
  virtual std::optional<std::string> AskSavePath(const SaveDialogRequest& request) = 0;

  // Busy (wait) cursor on and off.
  virtual void SetBusy(bool busy) = 0;

  // A new progress window over the main window, shown; null when it cannot be made.
  virtual std::unique_ptr<ProgressView> CreateProgressView() = 0;

  // The STOP these surroundings raise outside any progress window (Ctrl-C and termination
  // signals in a terminal), or null. Waits that do not go through the host, such as the echo
  // probe, poll its descriptor; every wait of a port ends once it is raised.
  virtual const StopSignal* Stop() const { return nullptr; }
  bool StopRequested() const {
    const StopSignal* stop = Stop();
    return stop != nullptr && stop->Raised();
  }

  // What a message leaves out: the device, address or file and the system's reason. The window
  // keeps its messages as they are and drops it; a terminal prints it on the line below.
  virtual void ShowDetail(const std::string& text) { static_cast<void>(text); }

  // Says why `outcome` failed: its message, then its detail; nothing for an outcome that
  // succeeded or that STOP ended.
  void Show(const Outcome& outcome) {
    if (outcome.message.empty()) return;
    ShowMessage(outcome.message, outcome.style);
    if (!outcome.detail.empty()) ShowDetail(outcome.detail);
  }
};

}  // namespace corvelle
