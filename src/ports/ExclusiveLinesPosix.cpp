// SPDX-License-Identifier: MIT
// A fixed table of descriptors that a signal handler can walk without locks or allocation.
#include "ports/ExclusiveLines.h"

#include <sys/ioctl.h>

#include <array>
#include <atomic>

namespace corvelle {
namespace {

// Each entry holds a descriptor plus one, so that the zero-filled table starts empty.
std::array<std::atomic<int>, 64> g_lines{};

}  // namespace

void NoteExclusiveLine(int fd) {
  for (auto& line : g_lines) {
    int empty = 0;
    if (line.compare_exchange_strong(empty, fd + 1)) return;
  }
}

void ForgetExclusiveLine(int fd) {
  for (auto& line : g_lines) {
    int held = fd + 1;
    if (line.compare_exchange_strong(held, 0)) return;
  }
}

void ReleaseExclusiveLinesNow() {
  for (auto& line : g_lines) {
    const int held = line.load();
    if (held > 0) ::ioctl(held - 1, TIOCNXCL);
  }
}

}  // namespace corvelle
