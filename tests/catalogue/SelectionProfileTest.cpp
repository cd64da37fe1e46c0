// The selection's keys in the profile: 224 keys, empty strings for empty fields, round trips.
#include <gtest/gtest.h>

#include "base/Profile.h"
#include "catalogue/SelectionProfile.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

TEST(SelectionProfile, StoreWritesAll224KeysWithEmptyStringsForTheMarker) {
  FontSelection selection;
  selection[0] = {"Arial 12                        ", "/prog/FontExt/arial12.she"};
  selection[5].displayName = "only a name";
  Profile profile;
  profile.Parse("[FontsAggiuntivi]\nFont002=/old/path.she\nFontDialog002=Old\n");
  StoreSelectionToProfile(selection, profile);

  const auto entries = profile.Entries("FontsAggiuntivi");
  ASSERT_EQ(entries.size(), 224u);
  EXPECT_EQ(entries[0], (std::pair<std::string, std::string>{"Font002", ""}));  // kept its place, now empty
  EXPECT_EQ(profile.GetString("FontsAggiuntivi", "Font001", "?"), "/prog/FontExt/arial12.she");
  EXPECT_EQ(profile.GetString("FontsAggiuntivi", "FontDialog001", "?"), "Arial 12                        ");
  EXPECT_EQ(profile.GetString("FontsAggiuntivi", "FontDialog006", "?"), "only a name");
  EXPECT_EQ(profile.GetString("FontsAggiuntivi", "Font006", "?"), "");
  EXPECT_EQ(profile.GetString("FontsAggiuntivi", "FontDialog112", "?"), "");
}

TEST(SelectionProfile, SavedProfileReadsBackTheSameSelection) {
  test::TempDir dir;
  FontSelection selection;
  for (size_t p = 0; p < selection.size(); p += 3) {
    selection[p] = {"Name " + std::to_string(p) + std::string(20, ' '), "/prog/FontExt/f" + std::to_string(p) + ".she"};
  }
  selection[7] = {"  leading and trailing  ", "***"};
  {
    Profile profile(dir.File("corvelle.ini"));
    StoreSelectionToProfile(selection, profile);
    ASSERT_TRUE(profile.Save()) << profile.LastError();
  }
  EXPECT_EQ(LoadSelectionFromProfile(Profile(dir.File("corvelle.ini"))), selection);
}

TEST(SelectionProfile, EachFieldIsReadOnItsOwn) {
  Profile profile;
  profile.Parse("[FontsAggiuntivi]\nFontDialog005=Lonely name\nFont010=/p/FontExt/x.she\nFont011=\n");
  const FontSelection selection = LoadSelectionFromProfile(profile);
  EXPECT_EQ(selection[4].displayName, "Lonely name");
  EXPECT_EQ(selection[4].fontPath, "***");
  EXPECT_EQ(selection[9].displayName, "***");
  EXPECT_EQ(selection[9].fontPath, "/p/FontExt/x.she");
  EXPECT_EQ(selection[10], SelectionSlot{});
  EXPECT_EQ(LoadSelectionFromProfile(Profile()), FontSelection{});
}

}  // namespace
}  // namespace corvelle
