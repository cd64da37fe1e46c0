// SPDX-License-Identifier: MIT
// The window's readiness check on Linux: poll with no time-out.
#include <poll.h>

#include <cerrno>

#include "app/QtHostWait.h"

namespace corvelle {

bool IsValidHandle(NativeHandle fd) { return fd >= 0; }

bool FdReadyNow(NativeHandle fd, FdEvent event) {
  pollfd p{fd, static_cast<short>(event == FdEvent::Readable ? POLLIN : POLLOUT), 0};
  int r;
  do {
    r = ::poll(&p, 1, 0);
  } while (r < 0 && errno == EINTR);
  return r > 0 && p.revents != 0;
}

}  // namespace corvelle
