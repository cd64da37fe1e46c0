// Helpers for the hostile-input tests: large files made cheaply, deterministic garbage, the peak
// memory a piece of code takes, and a time limit that turns a hang into a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace corvelle::test {

// A file of `size` zero bytes that takes no disk space (ftruncate). False on failure.
bool MakeSparseFile(const std::string& path, std::uint64_t size);

// A file of `size` bytes holding `pattern` over and over. False on failure.
bool MakePatternFile(const std::string& path, const std::string& pattern, std::uint64_t size);

// `size` pseudo-random bytes, the same for the same seed.
std::string Garbage(std::size_t size, std::uint32_t seed);

// How far the resident memory of this process rose above its level at the call while `body`
// ran, in bytes (from the kernel's peak-RSS mark, which the call resets).
std::int64_t PeakMemoryGrowth(const std::function<void()>& body);

// Runs `body` in a child process killed after `seconds`. Returns its result, or -1 when it did
// not exit by itself in time (a hang) or crashed.
int RunWithin(unsigned seconds, const std::function<int()>& body);

}  // namespace corvelle::test
