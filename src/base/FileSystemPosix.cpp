// SPDX-License-Identifier: MIT
// The file-system calls over POSIX.
#include "base/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/FileWrite.h"
#include "base/Paths.h"

namespace corvelle {

int OpenForReading(const std::string& path) {
  // Links are resolved one by one under the owner rule; the file at the end is opened with
  // O_NOFOLLOW, so a link put there since is refused rather than followed.
  const auto resolved = ResolveFileLink(path);
  if (!resolved) {
    errno = resolved.Failure().system;
    return -1;
  }
  const std::string& target = *resolved;
  const int fd = ::open(target.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK | O_NOFOLLOW);
  if (fd < 0) return -1;
  // A hard link is the other way to plant a name for a file one may not read: in a shared folder
  // a file with several names that not everyone may read is refused.
  struct stat st {};
  if (::fstat(fd, &st) == 0 && S_ISREG(st.st_mode) && st.st_nlink > 1 && !(st.st_mode & S_IROTH) &&
      OthersMayWriteIn(ParentFolder(target).empty() ? "." : ParentFolder(target))) {
    ::close(fd);
    errno = EACCES;
    return -1;
  }
  return fd;
}

PathStatus StatPath(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {true, S_ISREG(st.st_mode), S_ISDIR(st.st_mode), static_cast<unsigned>(st.st_mode & 07777)};
}

bool MayWrite(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

}  // namespace corvelle
