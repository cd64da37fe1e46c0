// SPDX-License-Identifier: MIT
// The descriptor limit of a download to several printers on Linux.
#include <sys/resource.h>

#include "cli/FleetCommand.h"

namespace corvelle::cli {

// Each printer served holds an image reading, a socket and an echo socket at once: 256 of them
// need more descriptors than the usual soft limit of 1024.
void RaiseOpenFileLimit() {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
}

}  // namespace corvelle::cli
