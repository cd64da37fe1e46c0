// SPDX-License-Identifier: MIT
// The Windows waits of a host: on a socket, on a waitable HANDLE, or a plain pause, each one
// sleeping in WaitForMultipleObjects beside the stop signal's event, so STOP (Ctrl-C) ends it at
// once and nothing spins.
#pragma once

#include <cstdint>

#include "base/Host.h"
#include "base/NativeHandle.h"
#include "base/StopSignal.h"

namespace corvelle::win {

enum class WaitResult { Ready, TimedOut, Stopped, Failed };

// Until `socket` is readable (data, or the peer closed) or writable, `timeoutMs` passes (clamped
// to 0 and above) or `stop` (may be null) is raised. A stop raised beforehand ends it at once.
WaitResult WaitForSocket(NativeHandle socket, FdEvent event, std::int64_t timeoutMs, const StopSignal* stop);

// Until `object` (an event, a process, a thread) is signalled, `timeoutMs` passes or `stop` is
// raised.
WaitResult WaitForObject(NativeHandle object, std::int64_t timeoutMs, const StopSignal* stop);

// A pause of `ms` that `stop` ends early: TimedOut when it ran its whole length.
WaitResult PauseUnlessStopped(std::int64_t ms, const StopSignal* stop);

}  // namespace corvelle::win
