// SPDX-License-Identifier: MIT
// SHA-256 as FIPS 180-4 defines it: the message cut into 64-byte blocks for the compression
// function (Sha256Portable.cpp, Sha256Ni.cpp), then padded with its length in bits.
#include "base/Sha256.h"

#include <algorithm>
#include <cstring>

namespace corvelle {

Sha256::Sha256() : Sha256(sha256::AcceleratedBlocks() ? sha256::AcceleratedBlocks() : &sha256::PortableBlocks) {}

Sha256::Sha256(sha256::BlockRun run)
    : m_state{0x6a09e667, 0xbb67ae85, 0x3c6ef372, 0xa54ff53a, 0x510e527f, 0x9b05688c, 0x1f83d9ab, 0x5be0cd19},
      m_run(run) {}

void Sha256::Update(std::string_view bytes) {
  m_length += bytes.size();
  const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
  std::size_t size = bytes.size();
  if (m_buffered > 0) {
    const std::size_t take = std::min(size, m_buffer.size() - m_buffered);
    std::memcpy(m_buffer.data() + m_buffered, data, take);
    m_buffered += take;
    data += take;
    size -= take;
    if (m_buffered < m_buffer.size()) return;
    m_run(m_state.data(), m_buffer.data(), 1);
    m_buffered = 0;
  }
  const std::size_t whole = size / 64;
  if (whole > 0) m_run(m_state.data(), data, whole);
  data += whole * 64;
  size -= whole * 64;
  if (size > 0) std::memcpy(m_buffer.data(), data, size);
  m_buffered = size;
}

std::array<std::uint8_t, 32> Sha256::Digest() const {
  // The padding is added to a copy, so that the running digest can go on.
  Sha256 tail = *this;
  const std::uint64_t bits = m_length * 8;
  std::uint8_t pad[72] = {0x80};
  const std::size_t padSize = (m_buffered < 56 ? 56 : 120) - m_buffered;
  for (int i = 0; i < 8; ++i) pad[padSize + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(bits >> (56 - 8 * i));
  tail.Update(pad, padSize + 8);
  std::array<std::uint8_t, 32> digest{};
  for (std::size_t i = 0; i < 32; ++i) digest[i] = static_cast<std::uint8_t>(tail.m_state[i / 4] >> (24 - 8 * (i % 4)));
  return digest;
}

std::string Sha256::HexDigest() const {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (const std::uint8_t byte : Digest()) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

std::string Sha256Hex(std::string_view bytes) {
  Sha256 sha;
  sha.Update(bytes);
  return sha.HexDigest();
}

}  // namespace corvelle
