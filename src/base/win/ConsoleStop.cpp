// SPDX-License-Identifier: MIT
// The console control handler: it runs on a thread of its own that Windows starts, so it only
// raises the stop signal (an atomic store and SetEvent).
#include <windows.h>

#include <atomic>

#include "base/win/ConsoleStop.h"

namespace corvelle::win {
namespace {

std::atomic<StopSignal*> g_stop{nullptr};

BOOL WINAPI ControlHandler(DWORD type) { return ConsoleStop::Handle(type) ? TRUE : FALSE; }

}  // namespace

ConsoleStop::ConsoleStop(StopSignal& stop) {
  g_stop.store(&stop);
  m_installed = ::SetConsoleCtrlHandler(ControlHandler, TRUE) != 0;
}

ConsoleStop::~ConsoleStop() {
  if (m_installed) ::SetConsoleCtrlHandler(ControlHandler, FALSE);
  g_stop.store(nullptr);
}

bool ConsoleStop::Handle(unsigned long type) {
  switch (type) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
    case CTRL_LOGOFF_EVENT:
    case CTRL_SHUTDOWN_EVENT:
      break;
    default:
      return false;
  }
  StopSignal* stop = g_stop.load();
  if (!stop) return false;
  stop->Raise();
  return true;
}

}  // namespace corvelle::win
