// SPDX-License-Identifier: MIT
// Writing whole files safely: every byte or a clear failure, and replacing a file in one step so
// that a full disk, a crash or a power cut leaves the old file or the new one, never a part.
#pragma once

#include <string>
#include <string_view>

namespace corvelle {

// Writes all of `data` to `fd`, retrying interrupted and partial writes. False with errno set.
bool WriteFully(int fd, std::string_view data);

// Writes `data` to `fd`, flushes it to disk and closes it: 0, or the errno value of the first
// failure. Some file systems report a full disk only at the flush; devices and pipes cannot be
// flushed (EINVAL), which is no failure.
int WriteSyncClose(int fd, std::string_view data);

struct ReplaceResult {
  enum class Stage { Done, Create, Write, Rename };
  Stage stage = Stage::Done;  // where it failed
  int error = 0;              // errno of the failure
  bool Ok() const { return stage == Stage::Done; }
};

// Replaces the regular file `path` (or creates it) with `data`: a new file beside it is written,
// flushed and renamed over it, and the folder is flushed. The new file keeps the old one's
// permission bits (a plain create's when there was none). On failure nothing is left behind and
// the old file is as it was. `path` must name the file itself, not a link to it.
ReplaceResult ReplaceFileWhole(const std::string& path, std::string_view data);

}  // namespace corvelle
