// SPDX-License-Identifier: MIT
// File writing's system calls on POSIX: the new file beside its target, flushing, renaming,
// following links with care, and appending a line.
#include "base/FileWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <utility>
#include <vector>

#include "base/FileWritePlatform.h"
#include "base/Paths.h"
#include "base/TempFiles.h"

namespace corvelle {
namespace {

// A new file beside `target` under a name nobody can foresee (TemporaryNameBeside); `temp` holds
// its name. A name that exists all the same is drawn again. O_RDWR so a committed file can be
// read back through the same open file. -1 with errno set when none can be made.
int CreateBeside(const std::string& target, mode_t mode, std::string& temp) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    temp = TemporaryNameBeside(target);
    if (temp.empty()) return -1;
    const int fd = ::open(temp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, mode);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

// A link may be followed unless it lies in a folder others may write to and belongs to someone
// other than this user or root: there another user could point it at a file only this user may
// read or write.
bool MayFollow(const struct stat& link, const std::string& folder) {
  return link.st_uid == ::geteuid() || link.st_uid == 0 || !OthersMayWriteIn(folder.empty() ? "." : folder);
}

}  // namespace

long WriteSome(int fd, const char* data, std::size_t size) { return ::write(fd, data, size); }

bool SeekToStart(int fd) { return ::lseek(fd, 0, SEEK_SET) == 0; }

Outcome WriteSyncClose(int fd, std::string_view data) {
  Outcome written = WriteFully(fd, data);
  if (written && ::fsync(fd) != 0 && errno != EINVAL) written = Outcome::SystemFailure(kCannotWrite, errno);
  if (::close(fd) != 0 && written) written = Outcome::SystemFailure(kCannotWrite, errno);
  return written;
}

Result<std::string> ResolveFileLink(const std::string& path) {
  std::string current = path;
  std::vector<char> buffer(4096);
  for (int step = 0; step < 40; ++step) {
    // The link is held open while its owner is checked and read, so that one swapped in between
    // is not the one followed.
    const int fd = ::open(current.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return current;
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISLNK(st.st_mode)) {
      ::close(fd);
      return current;
    }
    const std::string folder = ParentFolder(current);
    if (!MayFollow(st, folder)) {
      ::close(fd);
      return Outcome::SystemError(EACCES);
    }
    const ssize_t n = ::readlinkat(fd, "", buffer.data(), buffer.size());
    ::close(fd);
    if (n <= 0 || static_cast<size_t>(n) >= buffer.size()) return current;
    const std::string link(buffer.data(), static_cast<size_t>(n));
    current = link.front() == '/' || folder.empty() ? link : JoinPath(folder, link);
  }
  return current;
}

AtomicFile::AtomicFile(const std::string& target, mode_t mode, LinkPolicy links) {
  // A link that may not be followed leaves no target: nothing is made (not in the current folder).
  const Result<std::string> chosen = links == LinkPolicy::FollowLink ? ResolveFileLink(target) : target;
  if (!chosen || chosen->empty()) {
    m_failure = m_created = Outcome::SystemFailure(kCannotCreate, chosen ? ENOENT : chosen.Failure().system);
    return;
  }
  m_target = *chosen;
  m_fd = CreateBeside(m_target, mode, m_temp);
  if (m_fd < 0) m_failure = m_created = Outcome::SystemFailure(kCannotCreate, errno);
}

AtomicFile::~AtomicFile() {
  if (m_fd >= 0) ::close(m_fd);
  if (m_reader >= 0) ::close(m_reader);
  if (!m_committed && !m_temp.empty() && m_created) ::unlink(m_temp.c_str());
}

Outcome AtomicFile::Fail(const char* message, int error) {
  m_failure = Outcome::SystemFailure(message, error);
  if (m_fd >= 0) ::close(std::exchange(m_fd, -1));
  ::unlink(m_temp.c_str());
  return m_failure;
}

Outcome AtomicFile::Commit() {
  if (m_fd < 0) return m_failure.Ok() ? Outcome::Quiet() : m_failure;
  if (::fsync(m_fd) != 0) return Fail(kCannotWrite, errno);
  m_reader = ::dup(m_fd);
  if (::close(std::exchange(m_fd, -1)) != 0) return Fail(kCannotWrite, errno);
  if (::rename(m_temp.c_str(), m_target.c_str()) != 0) return Fail(kCannotReplace, errno);
  m_committed = true;
  const std::string folder = ParentFolder(m_target);
  SyncFolder(folder.empty() ? "." : folder);
  return {};
}

Outcome AppendLine(const std::string& path, std::string_view line, mode_t mode) {
  // O_NONBLOCK: a pipe planted at the path must not hold the program until someone reads it.
  const int fd =
      ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, mode);
  if (fd < 0) return Outcome::SystemFailure(kCannotWrite, errno);
  struct stat st {};
  int error = 0;
  if (::fstat(fd, &st) != 0) {
    error = errno;
  } else if (!S_ISREG(st.st_mode)) {
    error = EINVAL;
  } else {
    ssize_t n = -1;
    do {
      n = ::write(fd, line.data(), line.size());
    } while (n < 0 && errno == EINTR);
    if (n < 0) error = errno;
    else if (static_cast<size_t>(n) != line.size()) error = EIO;
  }
  if (::close(fd) != 0 && error == 0) error = errno;
  return error == 0 ? Outcome{} : Outcome::SystemFailure(kCannotWrite, error);
}

void IgnoreFileSizeSignal() { std::signal(SIGXFSZ, SIG_IGN); }

}  // namespace corvelle
