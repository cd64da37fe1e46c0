// SPDX-License-Identifier: MIT
// The file writing that every platform shares: writing a whole buffer, streaming into an atomic
// file, handing out its reader, and replacing a file in one call.
#include "base/FileWrite.h"

#include <cerrno>
#include <utility>

#include "base/FileWritePlatform.h"

namespace corvelle {

Outcome WriteFully(int fd, std::string_view data) {
  while (!data.empty()) {
    const long n = WriteSome(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return Outcome::SystemFailure(kCannotWrite, n == 0 ? EIO : errno);
    data.remove_prefix(static_cast<size_t>(n));
  }
  return {};
}

Outcome AtomicFile::Write(std::string_view data) {
  if (m_fd < 0) return m_failure;
  Outcome written = WriteFully(m_fd, data);
  return written ? written : Fail(kCannotWrite, written.system);
}

int AtomicFile::TakeReader() {
  if (!m_committed || m_reader < 0) return -1;
  if (!SeekToStart(m_reader)) return -1;
  return std::exchange(m_reader, -1);
}

Outcome ReplaceFileWhole(const std::string& path, std::string_view data, mode_t mode, LinkPolicy links) {
  AtomicFile file(path, mode, links);
  Outcome written = file.Write(data);
  return written ? file.Commit() : written;
}

}  // namespace corvelle
