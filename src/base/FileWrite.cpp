// SPDX-License-Identifier: MIT
// Whole-file writing and atomic replacement.
#include "base/FileWrite.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/Paths.h"

namespace corvelle {
namespace {

// A new file named `target`.<process>.<n> beside `target`, created with the permissions a plain
// create would give it; `temp` holds its name. -1 with errno set when none can be made.
int CreateBeside(const std::string& target, std::string& temp) {
  const std::string stem = target + "." + std::to_string(::getpid()) + ".";
  for (int n = 0; n < 100; ++n) {
    temp = stem + std::to_string(n);
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

bool WriteFully(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n == 0) errno = EIO;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

int WriteSyncClose(int fd, std::string_view data) {
  int error = 0;
  if (!WriteFully(fd, data) || (::fsync(fd) != 0 && errno != EINVAL)) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  return error;
}

ReplaceResult ReplaceFileWhole(const std::string& path, std::string_view data) {
  std::string temp;
  const int fd = CreateBeside(path, temp);
  if (fd < 0) return {ReplaceResult::Stage::Create, errno};
  struct stat old {};
  if (::stat(path.c_str(), &old) == 0) ::fchmod(fd, old.st_mode & 07777);
  if (const int error = WriteSyncClose(fd, data)) {
    ::unlink(temp.c_str());
    return {ReplaceResult::Stage::Write, error};
  }
  if (::rename(temp.c_str(), path.c_str()) != 0) {
    const int error = errno;
    ::unlink(temp.c_str());
    return {ReplaceResult::Stage::Rename, error};
  }
  const std::string folder = ParentFolder(path);
  SyncFolder(folder.empty() ? "." : folder);
  return {};
}

}  // namespace corvelle
