// SPDX-License-Identifier: MIT
// The file writing that every platform shares: writing a whole buffer, streaming into an atomic
// file, handing out its reader, and replacing a file in one call.
#include "base/FileWrite.h"

#include <cerrno>
#include <utility>

#include "base/FileWritePlatform.h"

namespace corvelle {

bool WriteFully(int fd, std::string_view data) {
  while (!data.empty()) {
    const long n = WriteSome(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

bool AtomicFile::Write(std::string_view data) {
  if (m_fd < 0) return false;
  return WriteFully(m_fd, data) || Fail(Stage::Write, errno);
}

int AtomicFile::TakeReader() {
  if (!m_committed || m_reader < 0) return -1;
  if (!SeekToStart(m_reader)) return -1;
  return std::exchange(m_reader, -1);
}

ReplaceResult ReplaceFileWhole(const std::string& path, std::string_view data, mode_t mode, LinkPolicy links) {
  AtomicFile file(path, mode, links);
  if (file.Write(data) && file.Commit()) return {};
  return {file.FailedStage(), file.Error()};
}

}  // namespace corvelle
