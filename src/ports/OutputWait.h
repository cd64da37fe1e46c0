// SPDX-License-Identifier: MIT
// Waiting for a connection to take or send its output, without spinning: every pause sleeps on
// the host, and the cancel check ends it.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <functional>

#include "base/NativeHandle.h"

namespace corvelle {

struct PortContext;

enum class WriteOutcome { Done, Cancelled, Failed };

// Real-time step of one wait for a descriptor; short so that the cancel check is seen soon.
inline constexpr std::int64_t kWriteWaitStepMs = 50;

// Hands all `count` bytes to the non-blocking descriptor (on Windows: socket) `fd` through `put`
// (default ::write), waiting for it to become writable when it takes only part of them.
// `whileWaiting` runs after every wait. On Failed, `error` holds the errno value.
WriteOutcome WriteAll(PortContext& context, NativeHandle fd, const std::uint8_t* bytes, std::size_t count, int& error,
                      const std::function<ssize_t(const std::uint8_t*, std::size_t)>& put = {},
                      const std::function<void()>& whileWaiting = {});

// Sleeps in steps until `queued()` is at most `limit`; the steps are sized from the bytes above
// the limit at `baudRate` (10 bits a byte), between 2 and 100 ms. False when the cancel check is
// raised first.
bool WaitForQueue(PortContext& context, const std::function<long()>& queued, long limit, int baudRate);

// The length of the next sleep of WaitForQueue for `excess` bytes at `baudRate`.
std::int64_t QueueWaitStepMs(long excess, int baudRate);

}  // namespace corvelle
