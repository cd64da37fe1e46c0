// SPDX-License-Identifier: MIT
// The frozen image of a download to several printers on Linux: a sealed memory file.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/FleetDownload.h"

namespace corvelle::cli {

const char* const ImageSnapshot::kKeepFailure = "cannot keep the image in memory";

UniqueFd ImageSnapshot::CreateCopy(std::string& path) {
  UniqueFd fd(::memfd_create("corvelle-image", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (fd.Valid()) path = "/proc/self/fd/" + std::to_string(fd.Get());
  return fd;
}

Outcome ImageSnapshot::Seal(const UniqueFd& fd) {
  if (::fcntl(fd.Get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) == 0) return {};
  return Outcome::Failure(std::string("cannot freeze the image in memory: ") + std::strerror(errno));
}

FileHandle ImageSnapshot::Open() const {
  // A new opening with an offset of its own: the descriptor's own path in /proc.
  return FileHandle::Adopt(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
}

}  // namespace corvelle::cli
