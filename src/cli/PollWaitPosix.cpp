// SPDX-License-Identifier: MIT
// The command line's real-time wait on Linux: poll on the descriptor and the stop descriptor.
#include "cli/PollWait.h"

#include <poll.h>

#include <cerrno>

namespace corvelle::cli {

bool PollUntil(const StopSignal& stop, NativeHandle fd, FdEvent event, std::int64_t ms, bool stoppable) {
  return WaitUntilDeadline(ms, fd >= 0, [&](std::int64_t stepMs) {
    if (stoppable && stop.Raised()) return WaitStep::Ended;
    pollfd fds[2];
    nfds_t count = 0;
    if (fd >= 0) fds[count++] = {fd, static_cast<short>(event == FdEvent::Readable ? POLLIN : POLLOUT), 0};
    // The stop descriptor stays readable once raised, so a wait that STOP may not end leaves it out.
    if (stoppable && stop.Handle() != kNoHandle) fds[count++] = {stop.Handle(), POLLIN, 0};
    const int r = ::poll(fds, count, static_cast<int>(stepMs));
    if (r < 0 && errno != EINTR) return WaitStep::Ended;
    if (r > 0 && fd >= 0 && fds[0].revents != 0) return WaitStep::Ready;
    return WaitStep::Again;
  });
}

}  // namespace corvelle::cli
