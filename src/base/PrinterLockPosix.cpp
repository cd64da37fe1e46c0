// SPDX-License-Identifier: MIT
// The printer locks on Linux: flock on a file in $XDG_RUNTIME_DIR/corvelle, or in the state
// folder's locks/ when the session has no runtime folder.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <stdlib.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/PathsPlatform.h"
#include "base/PrinterLock.h"

namespace corvelle {
namespace {

constexpr std::size_t kMaxRecord = 256;

std::string LockFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') return JoinPath(runtime, "corvelle");
  return JoinPath(PerUserStateFolder(), "locks");
}

std::string ReadRecord(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return "";
  char buffer[kMaxRecord];
  const ssize_t n = ::pread(fd, buffer, sizeof buffer, 0);
  ::close(fd);
  return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : "";
}

}  // namespace

PrinterLock::PrinterLock(const std::string& printer) {
  const std::string folder = LockFolder();
  if (std::string problem = PrepareOwnFolder(folder); !problem.empty()) {
    m_text = std::move(problem);
    return;
  }
  const std::string path = JoinPath(folder, PrinterLockFileName(printer));
  m_handle = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, kPrivateFileMode);
  struct stat st {};
  const int error = m_handle < 0 || ::fstat(m_handle, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : EINVAL;
  if (error != 0) {
    m_text = "cannot open the lock file " + path + ": " + std::strerror(error);
    Release();
    return;
  }
  // flock, not fcntl locks: these belong to the open file, so two downloads of one process
  // (several printers at once) exclude each other too.
  while (::flock(m_handle, LOCK_EX | LOCK_NB) != 0) {
    if (errno == EINTR) continue;
    const int error = errno;
    Release();
    if (error == EWOULDBLOCK) {
      m_state = State::Busy;
      m_text = HolderText(ReadRecord(path));
    } else {
      m_text = "cannot lock " + path + ": " + std::strerror(error);
    }
    return;
  }
  m_state = State::Held;
  // The record is written in place, not through the replace-by-rename helper: the lock belongs
  // to this file, and a file renamed over it would be one that nobody holds.
  const std::string record = HolderRecord(program_invocation_short_name, ::getpid());
  // Who holds it is only told to others; a record that cannot be written changes nothing else.
  if (::ftruncate(m_handle, 0) == 0) {
    [[maybe_unused]] const ssize_t written = ::pwrite(m_handle, record.data(), record.size(), 0);
  }
}

void PrinterLock::Release() {
  if (m_handle != kNoHandle) ::close(m_handle);
  m_handle = kNoHandle;
}

std::string CanonicalPath(const std::string& path) {
  std::string absolute = path;
  if (absolute.empty() || absolute.front() != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd)) absolute = JoinPath(cwd, path);
  }
  char resolved[PATH_MAX];
  if (::realpath(absolute.c_str(), resolved)) return resolved;
  // A file not made yet: its folder resolved, its name as given.
  const std::string folder = ParentFolder(absolute);
  if (!folder.empty() && ::realpath(folder.c_str(), resolved)) return JoinPath(resolved, FileNamePart(absolute));
  return absolute;
}

}  // namespace corvelle
