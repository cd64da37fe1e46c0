// SPDX-License-Identifier: MIT
// Ctrl-C on Windows: while a ConsoleStop lives, the console's Ctrl-C, Ctrl-Break, close, log-off
// and shut-down events raise its stop signal (as SIGINT, SIGTERM and SIGHUP do on Linux), so
// every wait beside that signal ends.
#pragma once

#include "base/StopSignal.h"

namespace corvelle::win {

class ConsoleStop {
 public:
  explicit ConsoleStop(StopSignal& stop);
  ~ConsoleStop();
  ConsoleStop(const ConsoleStop&) = delete;
  ConsoleStop& operator=(const ConsoleStop&) = delete;

  bool Installed() const { return m_installed; }

  // What the console control handler does with event `type` (CTRL_C_EVENT, ...): true when it
  // raised the stop signal and so handled the event.
  static bool Handle(unsigned long type);

 private:
  bool m_installed = false;
};

}  // namespace corvelle::win
