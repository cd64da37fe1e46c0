// SPDX-License-Identifier: MIT
// The fake host's one real wait on Windows: WSAPoll on the socket, with the fake clock moved by
// the time waited (the whole time-out when nothing came).
#include <winsock2.h>

#include <algorithm>
#include <chrono>

#include "support/FakeHost.h"

namespace corvelle::test {

bool FakeHost::WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) {
  ++fdWaits;
  WSAPOLLFD p{static_cast<SOCKET>(fd), static_cast<short>(event == FdEvent::Readable ? POLLRDNORM : POLLWRNORM), 0};
  const auto start = std::chrono::steady_clock::now();
  const int timeout = static_cast<int>(std::clamp<std::int64_t>(timeoutMs, 0, 10'000));
  const int r = ::WSAPoll(&p, 1, timeout);
  const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  now += r > 0 ? real.count() : std::max<std::int64_t>(timeoutMs, 0);
  Tick();
  return r > 0;
}

}  // namespace corvelle::test
