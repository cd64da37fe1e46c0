// SPDX-License-Identifier: MIT
// SHA-256's compression function on the x86 SHA instructions (with SSSE3 and SSE4.1 around
// them), chosen at run time only when the processor reports all three. Elsewhere it is absent.
#include "base/Sha256Blocks.h"

#if defined(__x86_64__) || defined(__i386__)

#include <cpuid.h>
#include <immintrin.h>

#include <utility>

#define CORVELLE_SHA_TARGET __attribute__((target("sha,ssse3,sse4.1")))

namespace corvelle::sha256 {
namespace {

bool ProcessorHasSha() {
  unsigned eax = 0, ebx = 0, ecx = 0, edx = 0;
  if (!__get_cpuid(1, &eax, &ebx, &ecx, &edx)) return false;
  const bool ssse3 = (ecx & bit_SSSE3) != 0;
  const bool sse41 = (ecx & bit_SSE4_1) != 0;
  if (!__get_cpuid_count(7, 0, &eax, &ebx, &ecx, &edx)) return false;
  const bool sha = (ebx & (1u << 29)) != 0;
  return ssse3 && sse41 && sha;
}

// The message words of the block in flight, four to a register, and the two halves of the state
// in the order the instructions take them: ABEF and CDGH.
struct Lanes {
  __m128i msg[4];
  __m128i abef;
  __m128i cdgh;
};

// Rounds 4G to 4G+3. The schedule runs ahead of them: the words of group G+1 are finished here
// (from round 12 on) and the first half of a later group's is begun (up to round 51).
template <int G>
CORVELLE_SHA_TARGET inline void FourRounds(Lanes& s, const std::uint8_t* block, __m128i byteSwap) {
  if constexpr (G < 4) {
    s.msg[G] = _mm_shuffle_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(block + 16 * G)), byteSwap);
  }
  const __m128i current = s.msg[G % 4];
  __m128i words = _mm_add_epi32(current, _mm_loadu_si128(reinterpret_cast<const __m128i*>(kRound + 4 * G)));
  s.cdgh = _mm_sha256rnds2_epu32(s.cdgh, s.abef, words);
  if constexpr (G >= 3 && G < 15) {
    __m128i& next = s.msg[(G + 1) % 4];
    next = _mm_sha256msg2_epu32(_mm_add_epi32(next, _mm_alignr_epi8(current, s.msg[(G + 3) % 4], 4)), current);
  }
  words = _mm_shuffle_epi32(words, 0x0E);
  s.abef = _mm_sha256rnds2_epu32(s.abef, s.cdgh, words);
  if constexpr (G >= 1 && G < 13) {
    __m128i& later = s.msg[(G - 1) % 4];
    later = _mm_sha256msg1_epu32(later, current);
  }
}

template <int... G>
CORVELLE_SHA_TARGET inline void AllRounds(Lanes& s, const std::uint8_t* block, __m128i byteSwap,
                                          std::integer_sequence<int, G...>) {
  (FourRounds<G>(s, block, byteSwap), ...);
}

CORVELLE_SHA_TARGET void ShaBlocks(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks) {
  // The state's words a..h into ABEF and CDGH.
  const __m128i dcba = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state));
  const __m128i hgfe = _mm_loadu_si128(reinterpret_cast<const __m128i*>(state + 4));
  const __m128i cdab = _mm_shuffle_epi32(dcba, 0xB1);
  const __m128i efgh = _mm_shuffle_epi32(hgfe, 0x1B);
  Lanes s{};
  s.abef = _mm_alignr_epi8(cdab, efgh, 8);
  s.cdgh = _mm_blend_epi16(efgh, cdab, 0xF0);
  // Each 32-bit word of the message is big-endian.
  const __m128i byteSwap = _mm_set_epi64x(0x0c0d0e0f08090a0bULL, 0x0405060700010203ULL);
  for (; blocks > 0; --blocks, data += 64) {
    const __m128i abef = s.abef;
    const __m128i cdgh = s.cdgh;
    AllRounds(s, data, byteSwap, std::make_integer_sequence<int, 16>{});
    s.abef = _mm_add_epi32(s.abef, abef);
    s.cdgh = _mm_add_epi32(s.cdgh, cdgh);
  }
  // And back to a..h.
  const __m128i feba = _mm_shuffle_epi32(s.abef, 0x1B);
  const __m128i dchg = _mm_shuffle_epi32(s.cdgh, 0xB1);
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state), _mm_blend_epi16(feba, dchg, 0xF0));
  _mm_storeu_si128(reinterpret_cast<__m128i*>(state + 4), _mm_alignr_epi8(dchg, feba, 8));
}

}  // namespace

BlockRun AcceleratedBlocks() {
  static const BlockRun run = ProcessorHasSha() ? &ShaBlocks : nullptr;
  return run;
}

}  // namespace corvelle::sha256

#else

namespace corvelle::sha256 {
BlockRun AcceleratedBlocks() { return nullptr; }
}  // namespace corvelle::sha256

#endif
