// SPDX-License-Identifier: MIT
// The frozen image on every platform: the copy and its digests.
#include <algorithm>
#include <cerrno>
#include <cstring>

#include "base/FileWrite.h"
#include "base/Sha256.h"
#include "cli/FleetDownload.h"

namespace corvelle::cli {

Result<ImageSnapshot> ImageSnapshot::Take(FileHandle& image) {
  std::string path;
  UniqueFd fd = CreateCopy(path);
  if (!fd.Valid()) return Outcome::Failure(std::string(kKeepFailure) + ": " + std::strerror(errno));
  // The copy is hashed on its way, so that no second reading is needed.
  Sha256 sha;
  std::int64_t length = 0;
  char buffer[65536];
  for (;;) {
    const long n = image.Read(buffer, sizeof buffer);
    if (n < 0) return Outcome::Failure("cannot read the image: " + image.ErrorText());
    if (n == 0) break;
    sha.Update(buffer, static_cast<std::size_t>(n));
    length += n;
    if (const Outcome copied = WriteFully(fd.Get(), std::string_view(buffer, static_cast<std::size_t>(n))); !copied) {
      return Outcome::Failure(std::string(kKeepFailure) + ": " + copied.detail);
    }
  }
  if (Outcome sealed = Seal(fd); !sealed) return sealed;
  ImageSnapshot snapshot(std::move(fd), std::move(path));
  snapshot.m_length = length;
  snapshot.m_digest = sha.HexDigest();
  return snapshot;
}

std::string ImageSnapshot::Digest(std::int64_t bytes) const {
  if (bytes == m_length) return m_digest;
  FileHandle reading = Open();
  if (!reading.IsOpen() || bytes < 0) return "";
  Sha256 sha;
  char buffer[16384];
  for (std::int64_t read = 0; read < bytes;) {
    const long n = reading.Read(buffer, static_cast<std::size_t>(std::min<std::int64_t>(sizeof buffer, bytes - read)));
    if (n <= 0) return "";
    sha.Update(buffer, static_cast<std::size_t>(n));
    read += n;
  }
  return sha.HexDigest();
}

}  // namespace corvelle::cli
