// SPDX-License-Identifier: MIT
// Finishing partial writes and waiting for output queues.
#include "ports/OutputWait.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "base/Host.h"
#include "ports/PortBackend.h"

namespace corvelle {

StallWatch::StallWatch(Host& host, std::int64_t limitMs) : m_host(host), m_limitMs(limitMs), m_since(host.Now()) {}

bool StallWatch::Stalled(long count) {
  const std::int64_t now = m_host.Now();
  if (count < m_lowest) {
    m_lowest = count;
    m_since = now;
    return false;
  }
  return now - m_since > m_limitMs;
}

Outcome WriteAll(PortContext& context, NativeHandle fd, const std::uint8_t* bytes, std::size_t count,
                 const std::function<ssize_t(const std::uint8_t*, std::size_t)>& put,
                 const std::function<void()>& whileWaiting, std::int64_t stallMs) {
  std::size_t done = 0;
  StallWatch watch(context.host, stallMs);
  // Some drivers (the parallel port's) report a descriptor writable that still refuses bytes;
  // after such a refusal the next pause is a plain sleep, so the loop never spins.
  bool readyButRefused = false;
  while (done < count) {
    const ssize_t n = put ? put(bytes + done, count - done) : ::write(static_cast<int>(fd), bytes + done, count - done);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      readyButRefused = false;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) return Outcome::SystemError(errno);
    if (context.Cancelled()) return Outcome::Stop();
    if (stallMs > 0 && watch.Stalled(static_cast<long>(count - done))) return Outcome::SystemError(ETIMEDOUT);
    if (readyButRefused) {
      context.host.WaitFor(kWriteWaitStepMs);
      readyButRefused = false;
    } else {
      readyButRefused = context.host.WaitForFd(fd, FdEvent::Writable, kWriteWaitStepMs);
    }
    if (whileWaiting) whileWaiting();
    context.OutputWaited();
  }
  return {};
}

std::int64_t QueueWaitStepMs(long excess, int baudRate) {
  const std::int64_t bits = static_cast<std::int64_t>(std::max(excess, 0L)) * 10 * 1000;
  const std::int64_t ms = baudRate > 0 ? (bits + baudRate - 1) / baudRate : 100;
  return std::clamp<std::int64_t>(ms, 2, 100);
}

Outcome WaitForQueue(PortContext& context, const std::function<long()>& queued, long limit, int baudRate) {
  StallWatch watch(context.host);
  for (;;) {
    const long left = queued();
    if (left <= limit) return {};
    // STOP is looked at first: a caller's own time limit raised through the cancel check at the
    // same moment keeps its meaning.
    if (context.Cancelled()) return Outcome::Stop();
    if (watch.Stalled(left)) return Outcome::Quiet();
    context.host.WaitFor(QueueWaitStepMs(left - limit, baudRate));
    context.OutputWaited();
  }
}

}  // namespace corvelle
