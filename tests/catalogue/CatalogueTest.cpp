// SPDX-License-Identifier: MIT
// Index file records, the catalogue they give, the preview decoded from an entry, and the
// selection read from settings file text.
#include <gtest/gtest.h>

#include <vector>

#include "CatalogueTesting.h"
#include "catalogue/FontCatalogue.h"
#include "catalogue/FontPreview.h"
#include "catalogue/SettingsFile.h"

namespace corvelle {
namespace {

using test::IndexRecord;
using test::Padded;

TEST(IndexFile, EveryWholeRecordIsAnEntryInFileOrderDuplicatesIncluded) {
  const std::string a = IndexRecord({"fa", "Face A", "Font A"}), b = IndexRecord({"fb", "Face B", "Font B"});
  const FontCatalogue catalogue = ParseCatalogue(a + b + a + a.substr(0, 101));  // the short tail is no entry
  ASSERT_EQ(catalogue.size(), 3u);
  EXPECT_EQ(catalogue[0].listText, Padded("Font A"));
  EXPECT_EQ(catalogue[1].listText, Padded("Font B"));
  EXPECT_EQ(catalogue[2], catalogue[0]);
  EXPECT_TRUE(ParseCatalogue("").empty());
}

TEST(IndexFile, NamesRunToTheFirstZeroPaddedTo32AndTheNumbersFollowAtFixedPlaces) {
  const std::string full(32, 'W');
  const std::tuple<std::string, std::string, std::string> cases[] = {
      {IndexRecord({full, full, full}), full, full + full + "   0   00000"},
      {IndexRecord({"arial12", "Arial", "  Arial  Bold", 255, 7, 1, 0, 1, 0}), Padded("  Arial  Bold"),
       Padded("arial12") + Padded("Arial") + " 255   71010"},
      {std::string(102, '\0'), std::string(32, ' '), std::string(64, ' ') + "   0   00000"},
      {IndexRecord({"b", "f", "n", 0, 12, -128, 100, -1, 9}), Padded("n"),
       Padded("b") + Padded("f") + "   0  12-128100-19"},
      // Bytes after a zero are no part of the name, whatever they are.
      {IndexRecord({std::string_view("ar\0junk", 7), std::string_view("Ar\0\xFFx", 5),
                    std::string_view("N\0 tail", 7)}),
       Padded("N"), Padded("ar") + Padded("Ar") + "   0   00000"},
  };
  for (const auto& [record, list, detail] : cases) {
    // The record ends an exactly sized buffer, so the sanitizer catches any read past it.
    const std::vector<char> bytes(record.begin(), record.end());
    const FontCatalogue catalogue = ParseCatalogue({bytes.data(), bytes.size()});
    ASSERT_EQ(catalogue.size(), 1u);
    EXPECT_EQ(std::tie(catalogue[0].listText, catalogue[0].detailText), std::tie(list, detail));
  }
}

TEST(Preview, SizeWeightItalicAndUnderlineComeFromTheDetailText) {
  const std::string text = EntryFromRecord(IndexRecord({"b", "Times New Roman", "n", 0, 12, 0, 1, 0, 1})).detailText;
  const auto font = DecodePreview(text);
  ASSERT_TRUE(font);
  EXPECT_EQ(std::tie(font->faceName, font->height, font->weight, font->italic, font->underline),
            std::make_tuple("Times New Roman", 12, 700, false, true));
  const auto plain = DecodePreview(EntryFromRecord(IndexRecord({"b", "F", "n", 200, 255, 1, 0, 1, 0})).detailText);
  ASSERT_TRUE(plain);
  EXPECT_EQ(std::tie(plain->height, plain->weight, plain->italic, plain->underline),
            std::make_tuple(255, 400, true, false));
  EXPECT_FALSE(DecodePreview(text.substr(0, 75)));
}

TEST(SettingsFile, PathsMoveIntoThisFontExtAndEveryTextGivesExactly112Positions) {
  FontSelection expected;
  expected[0] = {"Win", test::InFontExt("x.she")};
  expected[1] = {"Unix  ", test::InFontExt("y.she")};
  expected[2] = {"Bare", test::InFontExt("bare.she")};
  expected[4] = {std::string(kMaxSettingsLine, 'A'), test::InFontExt("lf.she")};  // a 1 MiB line is cut
  expected[5] = {"odd", "***"};
  const std::string text = "Win\r\nC:\\Old\\FontExt\\x.she\r\nUnix  \r\n/other/FontExt/y.she\r\nBare\r\nbare.she\r\n";
  EXPECT_EQ(ParseSettings(text + "***\r\n***\r\n" + std::string(1 << 20, 'A') + "\nlf.she\nodd", "/prog"), expected);
  std::string many;
  for (int p = 0; p < 130; ++p) many += "N" + std::to_string(p) + "\r\np\r\n";
  EXPECT_EQ(ParseSettings(many, "/prog")[111], (SelectionSlot{"N111", test::InFontExt("p")}));
}

TEST(SettingsFile, HostilePathLinesNeverNameAFileOutsideFontExt) {
  // A NUL or another control byte frees the position; "..", bare names and both separators end
  // in FontExt/; "***" and an empty line stay as read.
  const std::string text = std::string("Nul\r\n.netrc\0.she\r\nTab\r\na\tb.she\r\nDel\r\nx\x7f.she\r\n", 45) +
                           "Up\r\n..\r\nUp2\r\n../../etc/passwd\r\nMixed\r\nC:\\a/..\\secret.she\r\n" +
                           "Bare\r\nsecret.she\r\nFree\r\n***\r\nEmpty\r\n\r\n";
  const FontSelection s = ParseSettings(text, "/prog");
  for (int p = 0; p < 3; ++p) EXPECT_EQ(s[static_cast<size_t>(p)], SelectionSlot{}) << p;
  EXPECT_EQ(s[3].fontPath, test::InFontExt(".."));
  EXPECT_EQ(s[4].fontPath, test::InFontExt("passwd"));
  EXPECT_EQ(s[5].fontPath, test::InFontExt("secret.she"));
  EXPECT_EQ(s[6].fontPath, test::InFontExt("secret.she"));
  EXPECT_EQ(s[7], (SelectionSlot{"Free", "***"}));
  EXPECT_EQ(s[8], (SelectionSlot{"Empty", ""}));
}

TEST(SettingsFile, ALineEndInsideANameBecomesABlankSoLaterLinesStayInPlace) {
  FontSelection selection;
  selection[0] = {"Two\r\nLines\n", test::InFontExt("a.she")};
  selection[1] = {"Next", test::InFontExt("b.she")};
  const FontSelection back = ParseSettings(SerializeSettings(selection), "/prog");
  EXPECT_EQ(back[0], (SelectionSlot{"Two  Lines ", test::InFontExt("a.she")}));
  EXPECT_EQ(back[1], selection[1]);
}

}  // namespace
}  // namespace corvelle
