// SPDX-License-Identifier: MIT
// The terminal host's waits on Windows: each sleeps in the command line's one wait, beside the
// stop event (a socket through WSAEventSelect), and the console's Ctrl-C, Ctrl-Break and close
// raise STOP; a second one ends the program at once.
#include <windows.h>

#include <atomic>
#include <memory>

#include "base/win/ConsoleStop.h"
#include "cli/PollWait.h"
#include "cli/TerminalHost.h"

namespace corvelle::cli {
namespace {

std::unique_ptr<win::ConsoleStop> g_console;
std::atomic<int> g_events{0};

// Installed after the ConsoleStop's handler, so it runs first: the first event passes on to
// raise STOP, a second one ends the process with the status a Ctrl-C ending gives.
BOOL WINAPI SecondEventEnds(DWORD type) {
  if (type != CTRL_C_EVENT && type != CTRL_BREAK_EVENT && type != CTRL_CLOSE_EVENT) return FALSE;
  if (g_events.fetch_add(1) > 0) ::ExitProcess(static_cast<UINT>(STATUS_CONTROL_C_EXIT));
  return FALSE;
}

}  // namespace

TerminalHost::TerminalHost() {
  g_events = 0;
  g_console = std::make_unique<win::ConsoleStop>(m_stop);
  ::SetConsoleCtrlHandler(SecondEventEnds, TRUE);
}

TerminalHost::~TerminalHost() {
  ::SetConsoleCtrlHandler(SecondEventEnds, FALSE);
  g_console.reset();
}

bool TerminalHost::Sleep(NativeHandle socket, FdEvent event, std::int64_t ms, bool interruptible) {
  return PollUntil(m_stop, socket, event, ms, interruptible);
}

void TerminalHost::WaitFor(std::int64_t ms, WaitMode mode) {
  Sleep(0, FdEvent::Readable, ms, mode == WaitMode::Responsive);
}

bool TerminalHost::WaitForFd(NativeHandle socket, FdEvent event, std::int64_t timeoutMs) {
  return Sleep(socket, event, timeoutMs, true);
}

}  // namespace corvelle::cli
