// SPDX-License-Identifier: MIT
// The window's readiness check on Windows: WSAPoll on the socket with no time-out.
#include <winsock2.h>

#include "app/QtHostWait.h"

namespace corvelle {

bool IsValidHandle(NativeHandle fd) { return static_cast<SOCKET>(fd) != INVALID_SOCKET; }

bool FdReadyNow(NativeHandle fd, FdEvent event) {
  WSAPOLLFD p{static_cast<SOCKET>(fd), static_cast<short>(event == FdEvent::Readable ? POLLRDNORM : POLLWRNORM), 0};
  return ::WSAPoll(&p, 1, 0) > 0 && p.revents != 0;
}

}  // namespace corvelle
