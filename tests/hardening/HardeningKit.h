// Helpers for the hostile-input and fault tests: huge files made cheaply, deterministic garbage,
// the peak memory a piece of code takes, and a time limit that turns a hang into a failure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

namespace corvelle::test {

class TempDir;

// `name` in `dir` (folders made): `head`, then zero bytes up to 100 MB in all, which take no disk
// space. Its path, or "" on failure.
std::string MakeHugeFile(const TempDir& dir, const std::string& name, const std::string& head = "");

// `size` pseudo-random bytes, the same for the same seed.
std::string Garbage(std::size_t size, std::uint32_t seed);

// How far the resident memory of this process rose above its level at the call while `body`
// ran, in bytes (from the kernel's peak-RSS mark, which the call resets).
std::int64_t PeakMemoryGrowth(const std::function<void()>& body);

// Runs `body` in a child process killed after `seconds` and returns the (short) text it returned,
// or says that the child did not end by itself in time (a hang) or crashed.
std::string RunWithin(unsigned seconds, const std::function<std::string()>& body);

}  // namespace corvelle::test
