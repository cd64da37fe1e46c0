// SPDX-License-Identifier: MIT
// What the host's waits wait on and what holders of a descriptor keep: a file descriptor on Linux;
// on Windows a SOCKET or a HANDLE, carried as an integer so that no Windows header is needed here.
#pragma once

#include <cstdint>

namespace corvelle {

#ifdef _WIN32
using NativeHandle = std::uintptr_t;
// INVALID_SOCKET and INVALID_HANDLE_VALUE, which are the same all-ones value.
inline constexpr NativeHandle kNoHandle = ~NativeHandle{0};
#else
using NativeHandle = int;
inline constexpr NativeHandle kNoHandle = -1;
#endif

}  // namespace corvelle
