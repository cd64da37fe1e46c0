// SPDX-License-Identifier: MIT
// What the host's waits wait on: a file descriptor on Linux; on Windows a SOCKET or a HANDLE,
// carried as an integer so that no Windows header is needed here.
#pragma once

#include <cstdint>

namespace corvelle {

#ifdef _WIN32
using NativeHandle = std::uintptr_t;
#else
using NativeHandle = int;
#endif

}  // namespace corvelle
