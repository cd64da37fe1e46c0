// SPDX-License-Identifier: MIT
// The terminal host's waits on Linux: poll beside the stop descriptor, and Ctrl-C, SIGTERM and
// SIGHUP as STOP.
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>

#include "cli/PollWait.h"
#include "cli/TerminalHost.h"
#include "ports/ExclusiveLines.h"

namespace corvelle::cli {
namespace {

// The STOP the signal handler raises: the live host's.
std::atomic<StopSignal*> g_stop{nullptr};
std::atomic<int> g_signals{0};

// Ctrl-C, SIGTERM and SIGHUP are STOP: every wait ends and the run closes its port as the STOP
// button would. A second signal ends the process at once, with the serial lines given up.
extern "C" void OnStopSignal(int signal) {
  if (g_signals.fetch_add(1) > 0) {
    ReleaseExclusiveLinesNow();
    ::_exit(128 + signal);
  }
  if (StopSignal* stop = g_stop.load()) stop->Raise();
}

constexpr int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

}  // namespace

TerminalHost::TerminalHost() {
  g_signals = 0;
  g_stop = &m_stop;
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  for (const int signal : kStopSignals) ::sigaction(signal, &action, nullptr);
  // A printer that closes its connection must not kill the tool with SIGPIPE.
  ::signal(SIGPIPE, SIG_IGN);
}

TerminalHost::~TerminalHost() {
  for (const int signal : kStopSignals) ::signal(signal, SIG_DFL);
  g_stop = nullptr;
}

bool TerminalHost::Sleep(NativeHandle fd, FdEvent event, std::int64_t ms, bool interruptible) {
  return PollUntil(m_stop, fd, event, ms, interruptible);
}

void TerminalHost::WaitFor(std::int64_t ms, WaitMode mode) { Sleep(-1, FdEvent::Readable, ms, mode == WaitMode::Responsive); }

bool TerminalHost::WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) { return Sleep(fd, event, timeoutMs, true); }

}  // namespace corvelle::cli
