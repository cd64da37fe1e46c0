// SPDX-License-Identifier: MIT
// What the fuzz targets share: the property check, and the entry point that makes each target a
// libFuzzer program, or, built with CORVELLE_FUZZ_REPLAY, a plain function that the test suite
// calls on every saved crash input and seed (tests/hardening).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

namespace corvelle::fuzz {

int FuzzIndex(const std::uint8_t* data, std::size_t size);
int FuzzSettings(const std::uint8_t* data, std::size_t size);
int FuzzProfile(const std::uint8_t* data, std::size_t size);
int FuzzImage(const std::uint8_t* data, std::size_t size);
int FuzzEchoReply(const std::uint8_t* data, std::size_t size);
int FuzzStreamParser(const std::uint8_t* data, std::size_t size);
int FuzzHistory(const std::uint8_t* data, std::size_t size);

// Thrown instead of aborting when replayed in the test suite.
struct PropertyBroken : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A property of the parser that does not hold: libFuzzer keeps the input as a crash when the
// target aborts.
inline void Check(bool holds, const char* property) {
  if (holds) return;
#ifdef CORVELLE_FUZZ_REPLAY
  throw PropertyBroken(property);
#else
  std::fprintf(stderr, "property broken: %s\n", property);
  std::abort();
#endif
}

}  // namespace corvelle::fuzz

#ifdef CORVELLE_FUZZ_REPLAY
#define CORVELLE_FUZZ_ENTRY(function)
#else
#define CORVELLE_FUZZ_ENTRY(function)                                                      \
  extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) { \
    return corvelle::fuzz::function(data, size);                                        \
  }
#endif
