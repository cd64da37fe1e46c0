// SPDX-License-Identifier: MIT
// The frozen image's digests, on every platform.
#include <algorithm>
#include <limits>

#include "base/Sha256.h"
#include "cli/FleetDownload.h"

namespace corvelle::cli {

std::optional<ImageSnapshot> ImageSnapshot::Take(FileHandle& image, std::string& error) {
  std::optional<ImageSnapshot> snapshot = Freeze(image, error);
  if (!snapshot) return std::nullopt;
  std::optional<std::string> digest = snapshot->ReadDigest(-1, snapshot->m_length);
  if (!digest) {
    error = "cannot read the image kept in memory";
    return std::nullopt;
  }
  snapshot->m_digest = std::move(*digest);
  return snapshot;
}

std::string ImageSnapshot::Digest(std::int64_t bytes) const {
  if (bytes == m_length) return m_digest;
  std::int64_t read = 0;
  const std::optional<std::string> digest = ReadDigest(bytes, read);
  return digest && read == bytes ? *digest : std::string();
}

std::optional<std::string> ImageSnapshot::ReadDigest(std::int64_t bytes, std::int64_t& read) const {
  FileHandle reading = Open();
  if (!reading.IsOpen()) return std::nullopt;
  const std::int64_t wanted = bytes < 0 ? std::numeric_limits<std::int64_t>::max() : bytes;
  Sha256 sha;
  char buffer[16384];
  read = 0;
  while (read < wanted) {
    const long n = reading.Read(buffer, static_cast<std::size_t>(std::min<std::int64_t>(sizeof buffer, wanted - read)));
    if (n < 0) return std::nullopt;
    if (n == 0) break;
    sha.Update(buffer, static_cast<std::size_t>(n));
    read += n;
  }
  return sha.HexDigest();
}

}  // namespace corvelle::cli
