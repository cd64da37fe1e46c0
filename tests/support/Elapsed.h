// SPDX-License-Identifier: MIT
// Real time since a moment, for the tests that measure how soon a wait ends or how long it lasts.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace corvelle::test {

using Clock = std::chrono::steady_clock;

inline double SecondsSince(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

inline std::int64_t MsSince(Clock::time_point start) {
  return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// How long `action` took, in milliseconds.
inline std::int64_t MsOf(const std::function<void()>& action) {
  const Clock::time_point start = Clock::now();
  action();
  return MsSince(start);
}

}  // namespace corvelle::test
