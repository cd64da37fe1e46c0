// SPDX-License-Identifier: MIT
// The one real-time wait of the command line's hosts on Linux: a descriptor, a time-out and the
// run's STOP, slept on with poll.
#pragma once

#include <cstdint>

#include "base/Host.h"
#include "base/StopSignal.h"

namespace corvelle::cli {

// The steady clock in milliseconds.
std::int64_t SteadyNowMs();

// Sleeps until `fd` (-1: none) is ready for `event`, `ms` have passed, or, when `stoppable`,
// `stop` is raised. True only when the descriptor is ready.
bool PollUntil(const StopSignal& stop, int fd, FdEvent event, std::int64_t ms, bool stoppable);

}  // namespace corvelle::cli
