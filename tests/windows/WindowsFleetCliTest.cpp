// SPDX-License-Identifier: MIT
// corvelle-cli.exe serving several printers, run as the built program under Wine against
// stand-in printers on 127.0.0.1: each one served gets exactly the announcement and the built
// image on connections of their own, a closed port fails alone, the result lines come in the
// order given (exit 1); and Ctrl-C while printers pause stops every one of them at once, the one
// waiting its turn never contacted.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliProcess.h"
#include "support/LoopbackPrinter.h"
#include "download/DownloadPlan.h"
#include "fontset/FontSetBuilder.h"

namespace corvelle {
namespace {

using WindowsFleetCli = test::CliFolders;

TEST_F(WindowsFleetCli, EachServedPrinterGetsExactlyTheFramedImageAndAClosedPortFailsAlone) {
  test::RecordingPrinter first, second;
  ASSERT_TRUE(first.Port() && second.Port());
  const std::string closed = "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort());
  const test::CliRun run = Run({"download", "--ip", first.Target(), "--ip", closed, "--ip", second.Target()});
  EXPECT_EQ(run.code, 1) << run.err;

  const std::vector<std::string> lines = test::Lines(run.out);
  ASSERT_EQ(lines.size(), 3u) << run.out;
  EXPECT_EQ(lines[0], first.Target() + "\tok\t");
  EXPECT_EQ(lines[1].rfind(closed + "\tfailed\t", 0), 0u) << lines[1];
  EXPECT_GT(lines[1].size(), closed.size() + 8) << "the printer's last message";
  EXPECT_EQ(lines[2], second.Target() + "\tok\t");
  EXPECT_NE(run.err.find(closed + ": "), std::string::npos) << "its messages on stderr under its name:\n" << run.err;

  const std::string image = test::ReadFile(DefaultFontSetPath(program));
  ASSERT_GT(image.size(), 3000u);
  const auto areas = SplitImage(static_cast<std::int64_t>(image.size()), DownloadForm::Current);
  ASSERT_EQ(areas.size(), 1u);
  for (const test::RecordingPrinter* printer : {&first, &second}) {
    const std::vector<std::string> received = printer->Received();
    ASSERT_EQ(received.size(), 2u) << printer->Target();
    EXPECT_EQ(received[0], Announcement(areas[0]));
    EXPECT_TRUE(received[1] == image) << printer->Target() << " got other bytes than the built image";
  }
}

TEST_F(WindowsFleetCli, CtrlCWhilePrintersPauseStopsEveryOneAtOnce) {
  test::RecordingPrinter first, second, waiting;
  ASSERT_TRUE(first.Port() && second.Port() && waiting.Port());
  const test::CliRun run =
      Run({"download", "--jobs", "2", "--ip", first.Target(), "--ip", second.Target(), "--ip", waiting.Target()}, {}, {},
          test::ConsoleEvent::CtrlC, [&] { return !first.Received().empty() && !second.Received().empty(); });
  if (!run.eventSent) GTEST_SKIP() << "this Wine cannot attach to the program's console to send Ctrl-C";
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_LT(run.secondsAfterEvent, 2.0) << "every wait ends on STOP";
  EXPECT_EQ(run.out, first.Target() + "\tstopped\tDownload stopped.\r\n" + second.Target() +
                         "\tstopped\tDownload stopped.\r\n" + waiting.Target() + "\tstopped\tDownload stopped.\r\n");
  EXPECT_EQ(waiting.Accepted(), 0) << "a printer not started is never contacted";
}

}  // namespace
}  // namespace corvelle
