// SPDX-License-Identifier: MIT
// Waiting for a connection to take or send its output, without spinning: every pause sleeps on
// the host, and the cancel check ends it. A slow printer is waited for as long as it keeps taking
// bytes; only one that has taken nothing for kOutputStallMs fails the wait.
#pragma once

#include <sys/types.h>

#include <climits>
#include <cstddef>
#include <cstdint>
#include <functional>

#include "base/NativeHandle.h"
#include "base/Outcome.h"

namespace corvelle {

class Host;
struct PortContext;

// Real-time step of one wait for a descriptor; short so that the cancel check is seen soon.
inline constexpr std::int64_t kWriteWaitStepMs = 50;
// How long output may sit without any of it leaving before the printer counts as gone: the
// socket's linger time.
inline constexpr std::int64_t kOutputStallMs = 10'000;

// What a port shows when its output queue stopped moving.
inline constexpr const char* kOutputStalledText =
    "The printer took no data for 10 seconds.\nThe transfer was stopped.";

// Watches a count of bytes still to leave. It has stalled once the count has not reached a new
// low for longer than the limit: a count that keeps falling, however slowly, never stalls.
class StallWatch {
 public:
  explicit StallWatch(Host& host, std::int64_t limitMs = kOutputStallMs);
  // Notes the count now; true when it has stalled.
  bool Stalled(long count);

 private:
  Host& m_host;
  std::int64_t m_limitMs;
  long m_lowest = LONG_MAX;
  std::int64_t m_since = 0;
};

// Hands all `count` bytes to the non-blocking descriptor (on Windows: socket) `fd` through `put`
// (default ::write), waiting for it to become writable when it takes only part of them.
// `whileWaiting` runs after every wait. With a `stallMs` above 0 the write fails with ETIMEDOUT
// when the descriptor has taken nothing for that long; with 0 it waits until it does or STOP.
// A failure carries the errno value in `system` and no text: the port words it.
Outcome WriteAll(PortContext& context, NativeHandle fd, const std::uint8_t* bytes, std::size_t count,
                 const std::function<ssize_t(const std::uint8_t*, std::size_t)>& put = {},
                 const std::function<void()>& whileWaiting = {}, std::int64_t stallMs = 0);

// Sleeps in steps until `queued()` is at most `limit`; the steps are sized from the bytes above
// the limit at `baudRate` (10 bits a byte), between 2 and 100 ms. Stopped when the cancel check
// is raised first, a quiet failure when the queue has stalled (see StallWatch): the caller says
// what it knows of the queue. The context's output watch runs at every step.
Outcome WaitForQueue(PortContext& context, const std::function<long()>& queued, long limit, int baudRate);

// The length of the next sleep of WaitForQueue for `excess` bytes at `baudRate`.
std::int64_t QueueWaitStepMs(long excess, int baudRate);

}  // namespace corvelle
