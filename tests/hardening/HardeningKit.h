// SPDX-License-Identifier: MIT
// Helpers for the hostile-input and fault tests: huge files made cheaply, deterministic garbage,
// the peak memory a piece of code takes, and a time limit that turns a hang into a failure.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <fstream>
#include <functional>
#include <random>
#include <string>

#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle::test {

// `name` in `dir` (folders made): `head`, then zero bytes up to 100 MB in all, which take no disk
// space. Its path, or "" on failure.
inline std::string MakeHugeFile(const TempDir& dir, const std::string& name, const std::string& head = "") {
  return ::truncate(dir.Write(name, head).c_str(), 100 << 20) == 0 ? dir.File(name) : "";
}

// `size` pseudo-random bytes, the same for the same seed.
inline std::string Garbage(std::size_t size, std::uint32_t seed) {
  std::string bytes(size, '\0');
  std::generate(bytes.begin(), bytes.end(), std::mt19937(seed));
  return bytes;
}

// How far the resident memory of this process rose above its level at the call while `body`
// ran, in bytes (from the kernel's peak-RSS mark, which the call resets).
inline std::int64_t PeakMemoryGrowth(const std::function<void()>& body) {
  // A "VmRSS:" or "VmHWM:" figure of /proc/self/status, given in KiB.
  const auto bytes = [](const std::string& field) {
    const std::string status = ReadFile("/proc/self/status");
    return std::stoll(status.substr(status.find(field) + field.size())) * 1024;
  };
  // Writing 5 to clear_refs resets the peak mark (VmHWM) to the current resident size.
  std::ofstream("/proc/self/clear_refs") << "5";
  const std::int64_t before = bytes("VmRSS:");
  body();
  return bytes("VmHWM:") - before;
}

// Runs `body` in a child process killed after `seconds` and returns the (short) text it returned,
// or says that the child did not end by itself in time (a hang) or crashed.
inline std::string RunWithin(unsigned seconds, const std::function<std::string()>& body) {
  int report[2];
  if (::pipe2(report, O_CLOEXEC) != 0) return "no pipe";
  // The text is short, so the child's one write fits the pipe before anyone reads it.
  const int exit = RunInChild([&] {
    ::alarm(seconds);
    const std::string text = body();
    return ::write(report[1], text.data(), text.size()) == static_cast<ssize_t>(text.size()) ? 0 : 1;
  });
  ::close(report[1]);
  std::string text;
  for (char c; ::read(report[0], &c, 1) == 1;) text += c;
  ::close(report[0]);
  return exit == 0 ? text : "the child did not finish in time or crashed (" + std::to_string(exit) + ")";
}

}  // namespace corvelle::test
