// SPDX-License-Identifier: MIT
// SHA-256's compression function in portable C++: the message schedule kept in a ring of 16
// words and the rounds unrolled eight at a time, so that the working variables never move.
#include "base/Sha256Blocks.h"

namespace corvelle::sha256 {
namespace {

constexpr std::uint32_t Rotr(std::uint32_t x, int n) { return (x >> n) | (x << (32 - n)); }
constexpr std::uint32_t Sigma0(std::uint32_t x) { return Rotr(x, 2) ^ Rotr(x, 13) ^ Rotr(x, 22); }
constexpr std::uint32_t Sigma1(std::uint32_t x) { return Rotr(x, 6) ^ Rotr(x, 11) ^ Rotr(x, 25); }
constexpr std::uint32_t Gamma0(std::uint32_t x) { return Rotr(x, 7) ^ Rotr(x, 18) ^ (x >> 3); }
constexpr std::uint32_t Gamma1(std::uint32_t x) { return Rotr(x, 17) ^ Rotr(x, 19) ^ (x >> 10); }

std::uint32_t BigEndian(const std::uint8_t* p) {
  return static_cast<std::uint32_t>(p[0]) << 24 | static_cast<std::uint32_t>(p[1]) << 16 |
         static_cast<std::uint32_t>(p[2]) << 8 | static_cast<std::uint32_t>(p[3]);
}

// One round with the working variables named as they stand in it; the caller rotates the names
// instead of the values.
inline void Round(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t& d, std::uint32_t e,
                  std::uint32_t f, std::uint32_t g, std::uint32_t& h, std::uint32_t k, std::uint32_t w) {
  const std::uint32_t t1 = h + Sigma1(e) + (g ^ (e & (f ^ g))) + k + w;
  const std::uint32_t t2 = Sigma0(a) + ((a & b) | (c & (a | b)));
  d += t1;
  h = t1 + t2;
}

}  // namespace

const std::uint32_t kRound[64] = {
    0x428a2f98, 0x71374491, 0xb5c0fbcf, 0xe9b5dba5, 0x3956c25b, 0x59f111f1, 0x923f82a4, 0xab1c5ed5,
    0xd807aa98, 0x12835b01, 0x243185be, 0x550c7dc3, 0x72be5d74, 0x80deb1fe, 0x9bdc06a7, 0xc19bf174,
    0xe49b69c1, 0xefbe4786, 0x0fc19dc6, 0x240ca1cc, 0x2de92c6f, 0x4a7484aa, 0x5cb0a9dc, 0x76f988da,
    0x983e5152, 0xa831c66d, 0xb00327c8, 0xbf597fc7, 0xc6e00bf3, 0xd5a79147, 0x06ca6351, 0x14292967,
    0x27b70a85, 0x2e1b2138, 0x4d2c6dfc, 0x53380d13, 0x650a7354, 0x766a0abb, 0x81c2c92e, 0x92722c85,
    0xa2bfe8a1, 0xa81a664b, 0xc24b8b70, 0xc76c51a3, 0xd192e819, 0xd6990624, 0xf40e3585, 0x106aa070,
    0x19a4c116, 0x1e376c08, 0x2748774c, 0x34b0bcb5, 0x391c0cb3, 0x4ed8aa4a, 0x5b9cca4f, 0x682e6ff3,
    0x748f82ee, 0x78a5636f, 0x84c87814, 0x8cc70208, 0x90befffa, 0xa4506ceb, 0xbef9a3f7, 0xc67178f2,
};

void PortableBlocks(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks) {
  for (; blocks > 0; --blocks, data += 64) {
    std::uint32_t w[16];
    for (int i = 0; i < 16; ++i) w[i] = BigEndian(data + 4 * i);
    std::uint32_t a = state[0], b = state[1], c = state[2], d = state[3];
    std::uint32_t e = state[4], f = state[5], g = state[6], h = state[7];
    for (int i = 0; i < 64; i += 8) {
      // From round 16 on, each word of the ring is replaced by the schedule's next one.
      if (i >= 16) {
        for (int j = i; j < i + 8; ++j) {
          w[j & 15] += Gamma1(w[(j - 2) & 15]) + w[(j - 7) & 15] + Gamma0(w[(j - 15) & 15]);
        }
      }
      const std::uint32_t* k = kRound + i;
      const std::uint32_t* x = w + (i & 15);
      Round(a, b, c, d, e, f, g, h, k[0], x[0]);
      Round(h, a, b, c, d, e, f, g, k[1], x[1]);
      Round(g, h, a, b, c, d, e, f, k[2], x[2]);
      Round(f, g, h, a, b, c, d, e, k[3], x[3]);
      Round(e, f, g, h, a, b, c, d, k[4], x[4]);
      Round(d, e, f, g, h, a, b, c, k[5], x[5]);
      Round(c, d, e, f, g, h, a, b, k[6], x[6]);
      Round(b, c, d, e, f, g, h, a, k[7], x[7]);
    }
    state[0] += a;
    state[1] += b;
    state[2] += c;
    state[3] += d;
    state[4] += e;
    state[5] += f;
    state[6] += g;
    state[7] += h;
  }
}

}  // namespace corvelle::sha256
