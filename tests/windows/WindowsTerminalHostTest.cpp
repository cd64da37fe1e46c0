// SPDX-License-Identifier: MIT
// corvelle-cli's Windows host, in process: the console's Ctrl-C (the handler ConsoleStop
// installs, called as Windows calls it) ends a responsive pause at once and counts as the
// command line's STOP, while a wait that STOP may not end runs its whole length.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/win/ConsoleStop.h"
#include "cli/TerminalHost.h"
#include "support/Elapsed.h"

namespace corvelle {
namespace {

using test::Clock;
using test::SecondsSince;

TEST(WindowsTerminalHost, CtrlCEndsAResponsivePauseAtOnceButNotOneThatStopMayNotEnd) {
  cli::TerminalHost host;
  EXPECT_FALSE(host.Interrupted());
  Clock::time_point start = Clock::now();
  host.WaitFor(300, WaitMode::PaintOnly);
  EXPECT_GE(SecondsSince(start), 0.29);

  std::thread console([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    EXPECT_TRUE(win::ConsoleStop::Handle(CTRL_C_EVENT));
  });
  start = Clock::now();
  host.WaitFor(20'000);
  const double waited = SecondsSince(start);
  console.join();
  EXPECT_LT(waited, 1.0);
  EXPECT_TRUE(host.Interrupted());
  EXPECT_TRUE(host.StopRequested());
  // Once raised, every later responsive wait returns at once; one STOP may not end still runs.
  start = Clock::now();
  host.WaitFor(20'000);
  EXPECT_LT(SecondsSince(start), 1.0);
  start = Clock::now();
  host.WaitFor(200, WaitMode::PaintOnly);
  EXPECT_GE(SecondsSince(start), 0.19);
}

}  // namespace
}  // namespace corvelle
