// SPDX-License-Identifier: MIT
// The FILE kind's open on POSIX: an exclusive lock taken before the truncation, and a descriptor
// that never blocks.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "base/FileWrite.h"
#include "base/Host.h"
#include "ports/FileBackend.h"

namespace corvelle {
namespace {

// How often a FIFO without a reader is tried again.
constexpr std::int64_t kReaderWaitMs = 100;

}  // namespace

// Other writers are locked out; the file is truncated only once the lock is held. The descriptor
// is non-blocking, so a FIFO or a device that takes nothing (a printer out of paper) waits in
// poll, where STOP ends it; a FIFO without a reader is tried again every kReaderWaitMs until one
// comes or STOP.
Result<int> OpenOutputFile(PortContext& context, const std::string& path) {
  // A link is followed as the file writer allows (never another user's in a shared folder);
  // what it leads to is opened with O_NOFOLLOW, so a link swapped in since is refused.
  const auto resolved = ResolveFileLink(path);
  if (!resolved) return resolved.Failure();
  const std::string& target = *resolved;
  int fd = -1;
  for (;;) {
    fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0666);
    if (fd >= 0) break;
    if (errno != ENXIO) return Outcome::SystemError(errno);
    if (context.Cancelled()) return Outcome::Stop();
    context.host.WaitFor(kReaderWaitMs);
    if (context.Cancelled()) return Outcome::Stop();
  }
  struct stat st {};
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &st) != 0 || (S_ISREG(st.st_mode) && ::ftruncate(fd, 0) != 0)) {
    const int error = errno;
    ::close(fd);
    return Outcome::SystemError(error);
  }
  return fd;
}

}  // namespace corvelle
