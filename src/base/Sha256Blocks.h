// SPDX-License-Identifier: MIT
// The SHA-256 compression function over whole 64-byte blocks, in two forms: portable C++ and the
// x86 SHA instructions. Sha256 picks the fastest one the processor has; tests run both.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvelle::sha256 {

// Runs `blocks` consecutive 64-byte blocks from `data` through the eight-word `state`.
using BlockRun = void (*)(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks);

void PortableBlocks(std::uint32_t* state, const std::uint8_t* data, std::size_t blocks);

// The form that uses the processor's SHA instructions, or null where the processor (or the
// target) has none.
BlockRun AcceleratedBlocks();

// The round constants: the first 32 bits of the fractional parts of the cube roots of the first
// 64 primes.
extern const std::uint32_t kRound[64];

}  // namespace corvelle::sha256
