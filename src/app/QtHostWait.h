// SPDX-License-Identifier: MIT
// What the window's waits ask of the platform: a descriptor on Linux, a socket on Windows.
#pragma once

#include "base/Host.h"
#include "base/NativeHandle.h"

namespace corvelle {

// False for the value that stands for no descriptor (-1; INVALID_SOCKET on Windows).
bool IsValidHandle(NativeHandle fd);

// True when `fd` is ready for `event` right now (an error or hang-up counts as ready, so that
// the caller's next call reports it).
bool FdReadyNow(NativeHandle fd, FdEvent event);

}  // namespace corvelle
