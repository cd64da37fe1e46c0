// Registration of the seven program fonts and the one message when some are missing.
#include <gtest/gtest.h>

#include <span>

#include "app/FontRegistration.h"
#include "resources/Strings.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

class FontRegistrationTest : public ::testing::Test {
 protected:
  // The program folder with a "fonts" sub-folder holding the named fonts (copies of a DejaVu
  // font under the program's names).
  void Install(std::span<const std::string_view> names) {
    const std::string font = test::ReadFile("/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf");
    ASSERT_FALSE(font.empty());
    for (const std::string_view name : names) folder.Write("fonts/" + std::string(name), font);
  }

  test::TempDir folder;
  test::FakeHost host;
};

TEST_F(FontRegistrationTest, AllSevenAddedSayNothing) {
  Install(kProgramFonts);
  EXPECT_EQ(RegisterProgramFonts(folder.Path(), host), 7);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(FontRegistrationTest, OneMissingIsReportedOnce) {
  Install(std::span(kProgramFonts).first(6));
  EXPECT_EQ(RegisterProgramFonts(folder.Path(), host), 6);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "KERV - Font loading error");
  EXPECT_EQ(host.messages[0].text, LoadStr(IDS_FONT_LOADING_ERROR));
  EXPECT_EQ(host.messages[0].style, MessageStyle::Plain);
}

TEST_F(FontRegistrationTest, AFileThatIsNoFontCountsAsNotAdded) {
  Install(std::span(kProgramFonts).subspan(1));
  folder.Write("fonts/" + std::string(kProgramFonts[0]), "not a font");
  EXPECT_EQ(RegisterProgramFonts(folder.Path(), host), 6);
  EXPECT_EQ(host.messages.size(), 1u);
}

TEST_F(FontRegistrationTest, NoFontsFolderStillSaysItOnlyOnce) {
  EXPECT_EQ(RegisterProgramFonts(folder.Path(), host), 0);
  EXPECT_EQ(host.messages.size(), 1u);
}

}  // namespace
}  // namespace corvelle
