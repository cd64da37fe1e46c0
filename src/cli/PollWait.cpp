// SPDX-License-Identifier: MIT
// The command line's real-time wait on Linux.
#include "cli/PollWait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace corvelle::cli {

std::int64_t SteadyNowMs() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool PollUntil(const StopSignal& stop, int fd, FdEvent event, std::int64_t ms, bool stoppable) {
  const std::int64_t end = SteadyNowMs() + std::max<std::int64_t>(ms, 0);
  for (;;) {
    if (stoppable && stop.Raised()) return false;
    pollfd fds[2];
    nfds_t count = 0;
    if (fd >= 0) fds[count++] = {fd, static_cast<short>(event == FdEvent::Readable ? POLLIN : POLLOUT), 0};
    // The stop descriptor stays readable once raised, so a wait that STOP may not end leaves it out.
    if (stoppable && stop.Fd() >= 0) fds[count++] = {stop.Fd(), POLLIN, 0};
    const std::int64_t left = end - SteadyNowMs();
    if (left <= 0 && fd < 0) return false;
    const int r = ::poll(fds, count, static_cast<int>(std::clamp<std::int64_t>(left, 0, 60'000)));
    if (r < 0 && errno != EINTR) return false;
    if (r > 0 && fd >= 0 && fds[0].revents != 0) return true;
    if (left <= 0) return false;
  }
}

}  // namespace corvelle::cli
