// SPDX-License-Identifier: MIT
// The frozen image's digests, on every platform.
#include <algorithm>

#include "base/Sha256.h"
#include "cli/FleetDownload.h"

namespace corvelle::cli {

std::optional<ImageSnapshot> ImageSnapshot::Take(FileHandle& image, std::string& error) {
  Sha256 sha;
  std::int64_t length = 0;
  std::optional<ImageSnapshot> snapshot = Freeze(
      image,
      [&](const char* bytes, std::size_t size) {
        sha.Update(bytes, size);
        length += static_cast<std::int64_t>(size);
      },
      error);
  if (!snapshot) return std::nullopt;
  snapshot->m_length = length;
  snapshot->m_digest = sha.HexDigest();
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
