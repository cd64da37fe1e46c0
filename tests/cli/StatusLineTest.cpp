// SPDX-License-Identifier: MIT
// The progress line's text: the bar, the percentage and the step, fitted to the width without
// ever losing the percentage or a countdown's seconds.
#include <gtest/gtest.h>

#include "cli/StatusLine.h"

namespace corvelle::cli {
namespace {

TEST(ProgressLine, ABarThePercentageAndTheStepWhenThereIsRoomAndNarrowWidthsKeepThePercentageAndTheCountdown) {
  EXPECT_EQ(ProgressLine(25, "area 1", 200), "[#####               ] 25%  area 1");
  EXPECT_EQ(ProgressLine(-1, "", 200) + ProgressLine(150, "", 200), "[                    ] 0%[####################] 100%");
  EXPECT_EQ(PauseText(18), "Waiting for the printer: 18 s");
  const std::string sending = "Sending area 1 of 2 (1376256 bytes)";
  // The longest step at 79 columns (an 80-column terminal) whole, with the full bar.
  EXPECT_EQ(ProgressLine(100, sending, 79), "[####################] 100%  " + sending);
  for (std::size_t width = 0; width < 80; ++width) {
    for (const std::string& step : {PauseText(18), sending}) {
      const std::string line = ProgressLine(100, step, width);
      EXPECT_LE(line.size(), width) << line;
      EXPECT_TRUE(width < 4 || line.find("100%") != std::string::npos) << width << ": " << line;
      EXPECT_TRUE(width < 10 || step == sending || line.ends_with(" 18 s")) << width << ": " << line;
    }
  }
  // The step loses whole words from its start.
  EXPECT_EQ(ProgressLine(50, PauseText(8), 30), "[#####     ] 50%  printer: 8 s");
  EXPECT_EQ(ProgressLine(50, PauseText(8), 12), "50%  8 s");
  EXPECT_EQ(ProgressLine(50, PauseText(8), 7), "50%");
  EXPECT_EQ(ProgressLine(50, "Opening", 12), "50%  Opening");
}

}  // namespace
}  // namespace corvelle::cli
