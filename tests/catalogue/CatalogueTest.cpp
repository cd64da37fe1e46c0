// SPDX-License-Identifier: MIT
// Index file records, the catalogue they give, the preview decoded from an entry, the selection
// read from settings file text, and the selection operations behind "-->" and the GN1
// checkbox.
#include <gtest/gtest.h>

#include "CatalogueTesting.h"
#include "catalogue/FontPreview.h"
#include "catalogue/SettingsFile.h"

namespace corvelle {
namespace {

using namespace test;

TEST(IndexFile, EveryWholeRecordIsAnEntryInFileOrderAndItsNamesRunToTheFirstZeroPaddedTo32) {
  const std::string a = IndexRecord({"fa", "Face A", "Font A"}), b = IndexRecord({"fb", "Face B", "Font B"});
  const FontCatalogue catalogue = ParseCatalogue(a + b + a + a.substr(0, 101));  // the short tail is no entry
  ASSERT_EQ(catalogue.size(), 3u);
  EXPECT_EQ(catalogue[0].listText + catalogue[1].listText, Padded("Font A") + Padded("Font B"));
  EXPECT_EQ(catalogue[2], catalogue[0]);
  EXPECT_TRUE(ParseCatalogue("").empty());
  // Names run to the first zero, padded to 32, and the numbers follow at fixed places.
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

// Windows and Unix folders, "..", climbing paths, mixed separators and bare names all end in this
// FontExt, so that no path line names a file outside it; a NUL or another control byte frees the
// position; "***" or an empty line stays as read, "***" for both lines is a free position; a 1 MiB
// line is cut, and a name without its path line has "***".
TEST(SettingsFile, PathsMoveIntoThisFontExtAndEveryTextGivesExactly112Positions) {
  const std::string text = "Win\r\nC:\\Old\\FontExt\\x.she\r\nUnix  \r\n/other/FontExt/y.she\r\nBare\r\nbare.she\r\n" +
                           std::string("Nul\r\n.netrc\0.she\r\nTab\r\na\tb.she\r\nDel\r\nx\x7f.she\r\n", 45) +
                           "Up\r\n..\r\nUp2\r\n../../etc/passwd\r\nMixed\r\nC:\\a/..\\secret.she\r\n" +
                           "Bare\r\nsecret.she\r\nFree\r\n***\r\nEmpty\r\n\r\n***\r\n***\r\n" + std::string(1 << 20, 'A') +
                           "\nlf.she\nodd";
  FontSelection expected;
  for (const auto& [at, slot] : std::vector<std::pair<int, SelectionSlot>>{
           {0, {"Win", InFontExt("x.she")}}, {1, {"Unix  ", InFontExt("y.she")}}, {2, {"Bare", InFontExt("bare.she")}},
           {6, {"Up", InFontExt("..")}}, {7, {"Up2", InFontExt("passwd")}}, {8, {"Mixed", InFontExt("secret.she")}},
           {9, {"Bare", InFontExt("secret.she")}}, {10, {"Free", "***"}}, {11, {"Empty", ""}},
           {13, {std::string(kMaxSettingsLine, 'A'), InFontExt("lf.she")}}, {14, {"odd", "***"}}})
    expected[static_cast<std::size_t>(at)] = slot;
  EXPECT_EQ(ParseSettings(text, "/prog"), expected);
  std::string many;
  for (int p = 0; p < 130; ++p) many += "N" + std::to_string(p) + "\r\np\r\n";
  EXPECT_EQ(ParseSettings(many, "/prog")[111], (SelectionSlot{"N111", InFontExt("p")}));
}

TEST(SettingsFile, ALineEndInsideANameBecomesABlankSoLaterLinesStayInPlace) {
  FontSelection selection;
  selection[0] = {"Two\r\nLines\n", InFontExt("a.she")};
  selection[1] = {"Next", InFontExt("b.she")};
  const FontSelection back = ParseSettings(SerializeSettings(selection), "/prog");
  EXPECT_EQ(std::pair(back[0], back[1]), std::pair(SelectionSlot{"Two  Lines ", InFontExt("a.she")}, selection[1]));
}

SelectionSlot SlotOf(int index) {
  return {Padded("Font " + std::to_string(index)), InFontExt("font" + std::to_string(index) + ".she")};
}

class AddSelectedTest : public ::testing::Test {
 protected:
  AddOutcome Add(std::optional<int> destination, std::vector<int> indices, bool hasCurrent = true, bool legacy = false) {
    return AddSelected(selection, catalogue, "/prog", {destination, std::move(indices), hasCurrent, legacy}, ask);
  }
  const LegacyQuestion ask = [this](const std::string& text) {
    questions.push_back(text);
    return answer;
  };
  const FontCatalogue catalogue = [] {
    std::string bytes;
    for (int i = 0; i < 400; ++i) bytes += IndexRecord({"font" + std::to_string(i), "Face", "Font " + std::to_string(i)});
    return ParseCatalogue(bytes);
  }();
  FontSelection selection;
  std::vector<std::string> questions;
  MessageAnswer answer = MessageAnswer::Ok;
};

TEST_F(AddSelectedTest, PlacesLowestIndexFirstOverwritingAndDropsWhatPassesTheLastPosition) {
  selection[110] = SlotOf(399);
  const AddOutcome outcome = Add(110, {40, 10, 30, -3, 0, 400, 20});  // -3 and 400 are not in the catalogue
  // A second "-->" finds no destination.
  EXPECT_EQ(std::make_pair(outcome.placed, outcome.clearDestination), std::make_pair(2, true));
  FontSelection expected;
  expected[110] = SlotOf(0);
  expected[111] = SlotOf(10);
  EXPECT_EQ(selection, expected);

  std::vector<int> limit{5};  // listed twice: an index counts once
  for (int i = 111; i >= 0; --i) limit.push_back(i);
  EXPECT_EQ(Add(0, limit).placed, 112);
  EXPECT_EQ(selection[111], SlotOf(111));
}

TEST_F(AddSelectedTest, TheLegacyQuestionEmptiesPositionsEightOnOrClearsTheFlag) {
  selection[7] = SlotOf(1);
  selection[100] = SlotOf(2);
  EXPECT_TRUE(Add(8, {3}, true, true).legacyFormat);
  ASSERT_EQ(questions, std::vector<std::string>{"Max. 8 fonts available!\nFree other selections ?"});
  FontSelection expected;
  expected[7] = SlotOf(1);
  EXPECT_EQ(selection, expected);  // the font just added went too

  answer = MessageAnswer::Cancel;
  EXPECT_FALSE(Add(8, {3}, true, true).legacyFormat);
  EXPECT_EQ(std::pair(selection[8], questions.size()), std::pair(SlotOf(3), std::size_t{2}));

  selection[8] = SelectionSlot{};
  EXPECT_TRUE(EnforceLegacyLimit(selection, true, ask));
  EXPECT_EQ(questions.size(), 2u);     // nothing to empty: no question
  selection[50].displayName = "*** ";  // only the exact marker is empty
  EXPECT_TRUE(ExceedsLegacyLimit(selection, true));
}

}  // namespace
}  // namespace corvelle
