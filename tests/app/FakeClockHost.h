// SPDX-License-Identifier: MIT
// The window's Host with time that jumps forward when waited on: the windows still run their
// events at every wait, only the sleeping is left out, so a download's pauses pass at once.
#pragma once

#include <algorithm>
#include <cstdint>
#include <functional>

#include "app/QtHost.h"

namespace corvelle::test {

class FakeClockHost : public QtHost {
 public:
  std::int64_t Now() override { return m_now; }
  void WaitFor(std::int64_t ms, WaitMode mode) override {
    m_now += std::max<std::int64_t>(ms, 0);
    QtHost::WaitFor(0, mode);
    if (onTick) onTick();
  }
  void PumpMessages() override {
    QtHost::PumpMessages();
    if (onTick) onTick();
  }

  // Runs after every wait and pump: where a test acts in the middle of an operation.
  std::function<void()> onTick;
  std::int64_t m_now = 0;
};

}  // namespace corvelle::test
