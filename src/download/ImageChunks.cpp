// SPDX-License-Identifier: MIT
// Reading the image ahead of the chunks sent.
#include "download/ImageChunks.h"

#include <algorithm>
#include <cstring>

namespace corvelle {
namespace {

constexpr const char* kImageShrank = "the file ended before the length it was announced with";

}  // namespace

Outcome ImageChunks::Next(char* chunk, std::size_t size) {
  for (std::size_t filled = 0; filled < size;) {
    if (m_at == m_end) {
      m_block.resize(kImageReadAhead);
      const long n = m_image.Read(m_block.data(), m_block.size());
      if (n < 0) return Outcome::Failure(m_image.ErrorText());
      if (n == 0) return Outcome::Failure(kImageShrank);
      m_at = 0;
      m_end = static_cast<std::size_t>(n);
    }
    const std::size_t take = std::min(size - filled, m_end - m_at);
    std::memcpy(chunk + filled, m_block.data() + m_at, take);
    m_at += take;
    filled += take;
  }
  return {};
}

}  // namespace corvelle
