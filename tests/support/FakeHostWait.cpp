// SPDX-License-Identifier: MIT
// The fake host's one real wait: a poll on the descriptor, with the fake clock moved by the time
// waited (the whole time-out when nothing came).
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

#include "support/FakeHost.h"

namespace corvelle::test {

bool FakeHost::WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) {
  ++fdWaits;
  pollfd p{fd, static_cast<short>(event == FdEvent::Readable ? POLLIN : POLLOUT), 0};
  const auto start = std::chrono::steady_clock::now();
  const int timeout = static_cast<int>(std::clamp<std::int64_t>(timeoutMs, 0, 10'000));
  int r = 0;
  while ((r = ::poll(&p, 1, timeout)) < 0 && errno == EINTR) {
  }
  const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  now += r > 0 ? real.count() : std::max<std::int64_t>(timeoutMs, 0);
  Tick();
  return r > 0;
}

}  // namespace corvelle::test
