// SPDX-License-Identifier: MIT
// The one real-time wait of the command line's hosts: a handle (a descriptor on Linux, a socket
// on Windows), a time-out and the run's STOP. The platform file sleeps one step; the deadline on
// the steady clock is kept here, so a step that ends early (an interrupted poll, a wait that
// wakes before its time) never shortens a printer's pause.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>

#include "base/Host.h"
#include "base/NativeHandle.h"
#include "base/StopSignal.h"

namespace corvelle::cli {

// The handle of a wait that waits for none: only the time and STOP end it.
#ifdef _WIN32
inline constexpr NativeHandle kNoHandle = 0;
#else
inline constexpr NativeHandle kNoHandle = -1;
#endif

// The steady clock in milliseconds.
inline std::int64_t SteadyNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

// How one step of a wait ended.
enum class WaitStep { Ready, Ended, Again };

// The longest single step: a bound on what one system call is asked to wait.
inline constexpr std::int64_t kMaxWaitStepMs = 60'000;

// Calls `step(ms)` with what is left of `ms` (at most kMaxWaitStepMs) until it returns Ready
// (true) or Ended (false, STOP or a failure), or the time has passed (false). A wait for a
// handle takes at least one step even with no time left: a look at whether it is ready now.
template <typename Step>
bool WaitUntilDeadline(std::int64_t ms, bool forHandle, Step step) {
  const std::int64_t end = SteadyNowMs() + std::max<std::int64_t>(ms, 0);
  for (;;) {
    const std::int64_t left = end - SteadyNowMs();
    if (left <= 0 && !forHandle) return false;
    switch (step(std::clamp<std::int64_t>(left, 0, kMaxWaitStepMs))) {
      case WaitStep::Ready: return true;
      case WaitStep::Ended: return false;
      case WaitStep::Again: break;
    }
    if (left <= 0) return false;
  }
}

// Sleeps until `handle` (kNoHandle: none) is ready for `event`, `ms` have passed, or, when
// `stoppable`, `stop` is raised. True only when the handle is ready.
bool PollUntil(const StopSignal& stop, NativeHandle handle, FdEvent event, std::int64_t ms, bool stoppable);

}  // namespace corvelle::cli
