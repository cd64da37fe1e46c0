// SPDX-License-Identifier: MIT
// SHA-256 of a byte stream, fed in pieces: the download history records the digest of the bytes
// each printer was sent, so that an image can be matched with `sha256sum` afterwards.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Sha256Blocks.h"

namespace corvelle {

class Sha256 {
 public:
  // On the processor's SHA instructions where it has them, else in portable code.
  Sha256();
  // On the given compression function: tests hold each form to the same digests.
  explicit Sha256(sha256::BlockRun run);
  void Update(std::string_view bytes);
  void Update(const void* data, std::size_t size) { Update(std::string_view(static_cast<const char*>(data), size)); }
  // The digest of everything given so far; the object may be fed further afterwards.
  std::array<std::uint8_t, 32> Digest() const;
  // The digest as 64 lower-case hexadecimal digits.
  std::string HexDigest() const;

 private:
  std::array<std::uint32_t, 8> m_state;
  sha256::BlockRun m_run;
  std::array<std::uint8_t, 64> m_buffer{};
  std::size_t m_buffered = 0;
  std::uint64_t m_length = 0;  // bytes given so far
};

// The hexadecimal digest of `bytes`.
std::string Sha256Hex(std::string_view bytes);

}  // namespace corvelle
