// SPDX-License-Identifier: MIT
// The command line's real-time wait on Windows: each step sleeps in WaitForMultipleObjects on the
// socket's event beside the stop event (or on the stop event alone for a pause).
#include "base/win/HandleWait.h"
#include "cli/PollWait.h"

namespace corvelle::cli {

bool PollUntil(const StopSignal& stop, NativeHandle socket, FdEvent event, std::int64_t ms, bool stoppable) {
  const StopSignal* const stopping = stoppable ? &stop : nullptr;
  return WaitUntilDeadline(ms, socket != kNoHandle, [&](std::int64_t stepMs) {
    const win::WaitResult result = socket == kNoHandle ? win::PauseUnlessStopped(stepMs, stopping)
                                                       : win::WaitForSocket(socket, event, stepMs, stopping);
    switch (result) {
      case win::WaitResult::Ready: return WaitStep::Ready;
      case win::WaitResult::TimedOut: return WaitStep::Again;
      case win::WaitResult::Stopped:
      case win::WaitResult::Failed: break;
    }
    return WaitStep::Ended;
  });
}

}  // namespace corvelle::cli
