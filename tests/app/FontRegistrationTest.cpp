// SPDX-License-Identifier: MIT
// Registration of the seven program fonts and the one message when any is missing or unusable.
#include <gtest/gtest.h>

#include "app/FontRegistration.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle {

// A program folder whose "fonts" folder holds the first `count` program fonts (copies of a DejaVu
// font under the program's names) and, when `garbage`, a non-font under the next name.
TEST(FontRegistration, OneMissingOrUnusableIsReportedOnceAndAllSevenSayNothing) {
  const std::string font = test::ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  ASSERT_FALSE(font.empty());
  for (const auto& [count, garbage] : {std::pair{7, false}, {6, false}, {6, true}}) {
    const test::TempDir folder;
    for (int i = 0; i < count; ++i) folder.Write("fonts/" + std::string(kProgramFonts[i]), font);
    if (garbage) folder.Write("fonts/" + std::string(kProgramFonts[count]), "not a font");
    test::FakeHost host;
    EXPECT_EQ(RegisterProgramFonts(folder.Path(), host), count);
    ASSERT_EQ(host.messages.size(), count == 7 ? 0u : 1u) << garbage;
    for (const auto& message : host.messages) EXPECT_EQ(message.text, "KERV - Font loading error");
  }
}

}  // namespace corvelle
