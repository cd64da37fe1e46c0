// SPDX-License-Identifier: MIT
// The progress window as the downloads see it: a message line, a 0..100 bar, a status line, the
// countdown of a pause, the time the whole download still needs, and a STOP button that raises a
// cancel flag.
#pragma once

#include <string>

namespace corvelle {

class ProgressView {
 public:
  virtual ~ProgressView() = default;

  virtual void SetMessage(const std::string& text) = 0;
  virtual void SetRange(int low, int high) = 0;
  // Values past the high end are shown as a full bar.
  virtual void SetPosition(int position) = 0;
  virtual void SetStatus(const std::string& text) = 0;

  // A pause for the printer is under way with `secondsLeft` whole seconds still to go; told again
  // as each second passes. `stoppable` is false for a wait that STOP cannot end. A view that
  // shows no countdown may ignore it.
  virtual void ShowPause(int secondsLeft, bool stoppable) {
    (void)secondsLeft;
    (void)stoppable;
  }
  // The pause is over.
  virtual void EndPause() {}

  // About how many whole seconds the download still needs, its pauses and the final wait
  // included; told again as it changes. A view that shows no estimate may ignore it.
  virtual void ShowTimeLeft(int seconds) { (void)seconds; }

  // True when STOP may also end the wait that follows the whole image (the window's STOP): the
  // download then says that the image was sent instead of its closing message. A terminal's
  // Ctrl-C leaves that wait as it is.
  virtual bool StopEndsFinalWait() const { return false; }

  // True once STOP was pressed; stays true until cleared.
  virtual bool CancelRequested() const = 0;
  virtual void ClearCancel() = 0;
};

}  // namespace corvelle
