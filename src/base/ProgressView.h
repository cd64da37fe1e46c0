// SPDX-License-Identifier: MIT
// The progress window as the downloads see it: a message line, a 0..100 bar, a status line and
// a STOP button that raises a cancel flag.
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

  // True once STOP was pressed; stays true until cleared.
  virtual bool CancelRequested() const = 0;
  virtual void ClearCancel() = 0;
};

}  // namespace corvelle
