// Registration of the seven program fonts and the one message when any is missing or unusable.
#include <gtest/gtest.h>

#include <span>

#include "app/FontRegistration.h"
#include "resources/Strings.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle {

// A program folder whose "fonts" folder holds the first `count` program fonts (copies of a
// DejaVu font under the program's names) and, when `garbage`, a non-font under the next name.
static int Register(test::FakeHost& host, size_t count, bool garbage) {
  const test::TempDir folder;
  const std::string font = test::ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
  EXPECT_FALSE(font.empty());
  for (size_t i = 0; i < count; ++i) folder.Write("fonts/" + std::string(kProgramFonts[i]), font);
  if (garbage) folder.Write("fonts/" + std::string(kProgramFonts[count]), "not a font");
  return RegisterProgramFonts(folder.Path(), host);
}

TEST(FontRegistration, AllSevenSayNothing) {
  test::FakeHost host;
  EXPECT_EQ(Register(host, 7, false), 7);
  EXPECT_TRUE(host.messages.empty());
}

TEST(FontRegistration, OneMissingOrUnusableIsReportedOnce) {
  for (const bool garbage : {false, true}) {
    test::FakeHost host;
    EXPECT_EQ(Register(host, 6, garbage), 6);
    ASSERT_EQ(host.messages.size(), 1u);
    EXPECT_EQ(host.messages[0].text, "KERV - Font loading error");
    EXPECT_EQ(host.messages[0].text, LoadStr(IDS_FONT_LOADING_ERROR));
  }
}

}  // namespace corvelle
