// SPDX-License-Identifier: MIT
// The system side of temporary names on Linux: getrandom, process ids asked with kill(pid, 0),
// folders listed with lstat so that a link is never taken for a file.
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "base/Paths.h"
#include "base/TempFiles.h"

namespace corvelle::temp_files {

bool RandomBytes(std::string& bytes) {
  size_t filled = 0;
  while (filled < bytes.size()) {
    const ssize_t n = ::getrandom(bytes.data() + filled, bytes.size() - filled, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    filled += static_cast<size_t>(n);
  }
  return true;
}

unsigned long CurrentProcess() { return static_cast<unsigned long>(::getpid()); }

std::vector<std::string> OwnFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return names;
  const uid_t me = ::geteuid();
  while (const dirent* entry = ::readdir(dir)) {
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode) &&
        st.st_uid == me) {
      names.emplace_back(entry->d_name);
    }
  }
  ::closedir(dir);
  return names;
}

bool ProcessGone(unsigned long process) {
  if (process == 0 || process > static_cast<unsigned long>(INT32_MAX)) return false;
  return ::kill(static_cast<pid_t>(process), 0) != 0 && errno == ESRCH;
}

bool RemoveFile(const std::string& path) { return ::unlink(path.c_str()) == 0; }

}  // namespace corvelle::temp_files
