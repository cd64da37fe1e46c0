// SPDX-License-Identifier: MIT
// Writing files safely: every file the program writes is made as a new file beside its target,
// written fully, flushed and renamed over the target, so a full disk, a crash, a size limit or a
// planted link leaves the old file or the new one, never a part, and never writes elsewhere.
#pragma once

#include <sys/types.h>

#include <string>
#include <string_view>

#include "base/Outcome.h"

namespace corvelle {

// A failed write of a file says in its message which step failed, so that each caller can word its
// own text; the detail holds the system's reason and `system` its errno value.
inline constexpr const char* kCannotCreate = "cannot create";    // making the (new) file
inline constexpr const char* kCannotWrite = "cannot write";      // writing or flushing it
inline constexpr const char* kCannotReplace = "cannot replace";  // renaming it over its target

// Writes all of `data` to `fd`, retrying interrupted and partial writes (EIO when the system
// takes nothing).
Outcome WriteFully(int fd, std::string_view data);

// Writes `data` to `fd`, flushes it to disk and closes it; the outcome of the first failure. Some
// file systems report a full disk only at the flush; devices and pipes cannot be flushed (EINVAL),
// which is no failure.
Outcome WriteSyncClose(int fd, std::string_view data);

// Mode of the files the program writes, and of the profile (which may hold addresses).
inline constexpr mode_t kFileMode = 0644;
inline constexpr mode_t kPrivateFileMode = 0600;

// What to do when the target is a symbolic link: replace the link itself with the new file (an
// image, the scratch file: a link planted there is never followed), or replace the file it
// points at and keep the link (a selection file or a profile the user linked on purpose).
enum class LinkPolicy { ReplaceLink, FollowLink };

// `path` with every symbolic link of its last component resolved (a relative link against the
// folder holding it), the link itself when it points nowhere resolvable after 40 steps. A link in
// a folder that others may write to (OthersMayWriteIn) is followed only when it belongs to this
// user or root: a failure with EACCES when one is met that does not, so that no writer is led by
// another user's link to a file of this user's (or, for root, to any file).
Result<std::string> ResolveFileLink(const std::string& path);

// A file written in one step. The constructor creates the new file beside `target` under a name
// nobody can foresee (O_EXCL | O_NOFOLLOW, so nothing planted is opened); Write streams into it; Commit flushes it,
// renames it over the target and flushes the folder. A file never committed is removed when the
// object goes, so every failure, or a stop part way, leaves the target as it was.
class AtomicFile {
 public:
  AtomicFile(const std::string& target, mode_t mode, LinkPolicy links = LinkPolicy::ReplaceLink);
  ~AtomicFile();
  AtomicFile(const AtomicFile&) = delete;
  AtomicFile& operator=(const AtomicFile&) = delete;

  bool IsOpen() const { return m_fd >= 0; }
  // The file that Commit replaces (the link's target under FollowLink).
  const std::string& Target() const { return m_target; }
  // Why the constructor could not make the new file (Ok when it is open).
  const Outcome& Created() const { return m_created; }

  // Appends `data`; once a write has failed nothing more is written and each call returns that
  // failure (the constructor's when the file was never made).
  Outcome Write(std::string_view data);
  Outcome Write(const char* data, size_t size) { return Write(std::string_view(data, size)); }
  // Flushes, closes and renames over the target; on a failure the new file is removed. After a
  // failed Write it returns that failure.
  Outcome Commit();
  // After a successful Commit: a descriptor reading the committed file from its start, which
  // the caller owns. Whatever replaces the target later, it reads these bytes. -1 otherwise.
  int TakeReader();

 private:
  // Records the failure of the step `message` names, closes the file and removes it (a file
  // never made has nothing to remove).
  Outcome Fail(const char* message, int error);

  std::string m_target;
  std::string m_temp;
  int m_fd = -1;
  int m_reader = -1;
  Outcome m_created;
  Outcome m_failure;
  bool m_committed = false;
};

// Replaces the file `path` (or creates it) with `data` through an AtomicFile.
Outcome ReplaceFileWhole(const std::string& path, std::string_view data, mode_t mode = kFileMode,
                               LinkPolicy links = LinkPolicy::ReplaceLink);

// Appends `line` to the file `path` in one write with O_APPEND, creating the file with `mode`, so
// that lines appended by several processes at once never interleave. Only a regular file is
// written: a link (O_NOFOLLOW), a pipe or a device is refused (EINVAL). A failure's `system`
// is EIO when the system took only part of the line.
Outcome AppendLine(const std::string& path, std::string_view line, mode_t mode = kPrivateFileMode);

// Makes a file-size limit (RLIMIT_FSIZE) a failed write (EFBIG) instead of a killed process.
// Called once at program start.
void IgnoreFileSizeSignal();

}  // namespace corvelle
