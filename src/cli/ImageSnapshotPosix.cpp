// SPDX-License-Identifier: MIT
// The frozen image of a download to several printers on Linux: a sealed memory file.
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "cli/FleetDownload.h"

namespace corvelle::cli {
namespace {

bool WriteAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

}  // namespace

std::optional<ImageSnapshot> ImageSnapshot::Freeze(FileHandle& image, const Copied& copied, std::string& error) {
  UniqueFd fd(::memfd_create("corvelle-image", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!fd.Valid()) {
    error = std::string("cannot keep the image in memory: ") + std::strerror(errno);
    return std::nullopt;
  }
  char buffer[65536];
  for (;;) {
    const long n = image.Read(buffer, sizeof buffer);
    if (n < 0) {
      error = "cannot read the image: " + image.ErrorText();
      return std::nullopt;
    }
    if (n == 0) break;
    copied(buffer, static_cast<std::size_t>(n));
    if (!WriteAll(fd.Get(), buffer, static_cast<std::size_t>(n))) {
      error = std::string("cannot keep the image in memory: ") + std::strerror(errno);
      return std::nullopt;
    }
  }
  if (::fcntl(fd.Get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
    error = std::string("cannot freeze the image in memory: ") + std::strerror(errno);
    return std::nullopt;
  }
  std::string path = "/proc/self/fd/" + std::to_string(fd.Get());
  return ImageSnapshot(std::move(fd), std::move(path));
}

FileHandle ImageSnapshot::Open() const {
  // A new opening with an offset of its own: the descriptor's own path in /proc.
  return FileHandle::Adopt(::open(m_path.c_str(), O_RDONLY | O_CLOEXEC));
}

}  // namespace corvelle::cli
