// SPDX-License-Identifier: MIT
// The few file-system calls the readers and the stores make, one implementation per platform, so
// that the rooms above base never call the system themselves. Failures set errno.
#pragma once

#include <cstdint>
#include <string>

namespace corvelle {

// Opens `path` for reading without waiting (a FIFO with no writer does not block the open) and
// without handing the descriptor to child programs: a descriptor, or -1 with errno set. The
// caller checks with fstat that it is a regular file before reading. In a folder that others may
// write to, a link that belongs to neither this user nor root is not followed, and a file there
// with several names that not everyone may read is refused (EACCES both): another user's name for
// a file is never a way to have this program read it for them.
int OpenForReading(const std::string& path);

// What is at `path`, following links.
struct PathStatus {
  bool exists = false;
  bool regular = false;
  bool folder = false;
  unsigned mode = 0;  // permission bits
};
PathStatus StatPath(const std::string& path);

// True when this user may write to `path` (errno set when not).
bool MayWrite(const std::string& path);

}  // namespace corvelle
