// SPDX-License-Identifier: MIT
// What the platform-free file writing (FileWrite.cpp) asks of the platform's own file writer.
#pragma once

#include <cstddef>

namespace corvelle {

// One write of at most `size` bytes of `data` to `fd`: the count written, or -1 with errno set.
long WriteSome(int fd, const char* data, std::size_t size);
// Moves `fd`'s position to the start of its file; false when it cannot.
bool SeekToStart(int fd);

}  // namespace corvelle
