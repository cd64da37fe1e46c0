// SPDX-License-Identifier: MIT
// Output file: save dialog, exclusive truncating open that never blocks, finished writes, one
// report of a failure.
#include "ports/FileBackend.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "base/FileWrite.h"
#include "base/Host.h"
#include "ports/FdBackend.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

class FileBackend : public FdBackend {
 public:
  explicit FileBackend(PortContext& context) : FdBackend(context, "Error writing output file ", MessageStyle::Plain) {}

  bool Open(const PortOpenArgs& args) override {
    const auto path = AskOutputPath(m_context.host, args);
    if (!path) return false;
    m_path = *path;
    const int error = OpenExclusive();
    if (error == ECANCELED) return false;
    if (error != 0) {
      m_context.host.ShowMessage(std::string(LoadStr(IDS_OUTPUT_FILE_ERROR)) + "(Q)", MessageStyle::Plain);
      m_context.host.ShowDetail(m_path + ": " + std::strerror(error));
      return false;
    }
    return true;
  }

 private:
  // Other writers are locked out; the file is truncated only once the lock is held, so a file
  // another program is writing is left alone. The descriptor is non-blocking, so a FIFO or a
  // device that takes nothing (a printer out of paper) waits in poll, where STOP ends it; a FIFO
  // without a reader is tried again every kReaderWaitMs until one comes or STOP. 0, ECANCELED
  // after STOP, or the errno value of the failure.
  int OpenExclusive() {
    // A link is followed as the file writer allows (never another user's in a shared folder);
    // what it leads to is opened with O_NOFOLLOW, so a link swapped in since is refused.
    const std::string target = ResolveFileLink(m_path);
    if (target.empty()) return errno;
    for (;;) {
      m_fd = ::open(target.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK | O_NOFOLLOW, 0666);
      if (m_fd >= 0) break;
      if (errno != ENXIO) return errno;
      if (m_context.Cancelled()) return ECANCELED;
      m_context.host.WaitFor(kReaderWaitMs);
      if (m_context.Cancelled()) return ECANCELED;
    }
    struct stat st {};
    int error = 0;
    if (::flock(m_fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(m_fd, &st) != 0 ||
        (S_ISREG(st.st_mode) && ::ftruncate(m_fd, 0) != 0)) {
      error = errno;
      Release();
    }
    return error;
  }

  static constexpr std::int64_t kReaderWaitMs = 100;
};

}  // namespace

std::unique_ptr<PortBackend> MakeFileBackend(PortContext& context) { return std::make_unique<FileBackend>(context); }

}  // namespace corvelle
