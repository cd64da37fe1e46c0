// SPDX-License-Identifier: MIT
// The descriptor limit of a download to several printers on Linux.
#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>

#include <cstdint>

#include "cli/FleetCommand.h"

namespace corvelle::cli {
namespace {

// The descriptors open now: the entries of /proc/self/fd but the one listing them; without
// /proc, those below `limit` that answer.
std::size_t OpenDescriptors(rlim_t limit) {
  if (DIR* folder = ::opendir("/proc/self/fd")) {
    std::size_t count = 0;
    while (const dirent* entry = ::readdir(folder)) count += entry->d_name[0] != '.';
    ::closedir(folder);
    return count > 0 ? count - 1 : 0;
  }
  std::size_t count = 0;
  for (rlim_t fd = 0; fd < limit && fd < 65536; ++fd) count += ::fcntl(static_cast<int>(fd), F_GETFD) != -1;
  return count;
}

}  // namespace

// Every printer served holds descriptors for its whole download: 256 of them need more than the
// usual soft limit of 1024.
void RaiseOpenFileLimit() {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
}

std::size_t FreeDescriptors() {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY) return SIZE_MAX;
  const std::size_t open = OpenDescriptors(files.rlim_cur);
  return files.rlim_cur > open ? static_cast<std::size_t>(files.rlim_cur) - open : 0;
}

}  // namespace corvelle::cli
