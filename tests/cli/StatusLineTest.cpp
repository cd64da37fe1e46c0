// SPDX-License-Identifier: MIT
// The progress line's text: cut in the middle to the width, the bar, the countdown.
#include <gtest/gtest.h>

#include "cli/StatusLine.h"

namespace corvelle::cli {
namespace {

TEST(ElideMiddle, KeepsBothEndsAndFillsTheWidthExactly) {
  struct Case { const char* text; std::size_t width; const char* expected; };
  for (const Case& c : {Case{"", 0, ""}, Case{"abc", 3, "abc"}, Case{"abcdef", 6, "abcdef"},
                        Case{"abcdefgh", 7, "ab...gh"}, Case{"abcdefgh", 6, "ab...h"}, Case{"abcdefgh", 4, "a..."},
                        Case{"abcdefgh", 3, "..."}, Case{"abcdefgh", 2, ".."}, Case{"abcdefgh", 0, ""},
                        Case{"0123456789abcdefghij", 10, "0123...hij"}}) {
    EXPECT_EQ(ElideMiddle(c.text, c.width), c.expected) << c.text << " in " << c.width;
  }
}

TEST(ProgressLine, ABarThePercentageAndTheStepWithinTheWidth) {
  EXPECT_EQ(ProgressLine("Sending", 25, "area 1", 200), "Sending [#####               ] 25%  area 1");
  EXPECT_EQ(ProgressLine("M", -1, "", 200), "M [                    ] 0%  ");
  EXPECT_EQ(ProgressLine("M", 150, "", 200), "M [####################] 100%  ");
  for (std::size_t width = 0; width < 60; ++width) {
    const std::string line = ProgressLine("Upgrading printer...", 40, PauseText(18), width);
    EXPECT_LE(line.size(), width);
    if (width >= 30) {
      EXPECT_TRUE(line.ends_with("printer: 18 s")) << line;
    }
  }
  EXPECT_EQ(PauseText(18), "Waiting for the printer: 18 s");
}

}  // namespace
}  // namespace corvelle::cli
