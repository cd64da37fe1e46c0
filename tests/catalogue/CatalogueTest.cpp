// Index file records, the catalogue of a code page, font paths and the preview decoding.
#include <gtest/gtest.h>

#include "CatalogueTesting.h"
#include "base/Paths.h"
#include "base/Profile.h"
#include "catalogue/FontCatalogue.h"
#include "catalogue/FontPreview.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

using test::IndexRecord;
using test::Padded;
using test::TempDir;

TEST(IndexRecords, EveryWholeRecordIsOneEntryInFileOrderDuplicatesIncluded) {
  const std::string a = IndexRecord({"fa", "Face A", "Font A"});
  const std::string b = IndexRecord({"fb", "Face B", "Font B"});
  const FontCatalogue catalogue = ParseCatalogue(a + b + a + a);
  ASSERT_EQ(catalogue.size(), 4u);
  EXPECT_EQ(catalogue[0].listText, Padded("Font A"));
  EXPECT_EQ(catalogue[1].listText, Padded("Font B"));
  EXPECT_EQ(catalogue[2], catalogue[0]);
  EXPECT_EQ(catalogue[3], catalogue[0]);
}

TEST(IndexRecords, ShortFinalRecordAndEmptyInputGiveNoEntryForThem) {
  const std::string a = IndexRecord({"fa", "Face A", "Font A"});
  EXPECT_EQ(ParseCatalogue(a + a + a.substr(0, 101)).size(), 2u);
  EXPECT_EQ(ParseCatalogue(a.substr(0, 1)).size(), 0u);
  EXPECT_TRUE(ParseCatalogue("").empty());
}

TEST(IndexRecords, TextFieldsStopAtTheFirstZeroAndArePaddedOrCutTo32) {
  const std::string full(32, 'W');
  const CatalogueEntry fullName = EntryFromRecord(IndexRecord({"b", "f", full}));
  EXPECT_EQ(fullName.listText, full);

  EXPECT_EQ(EntryFromRecord(IndexRecord({"b", "f", "  Arial  Bold"})).listText, Padded("  Arial  Bold"));
  EXPECT_EQ(EntryFromRecord(IndexRecord({"b", "f", ""})).listText, std::string(32, ' '));

  std::string record = IndexRecord({"b", "f", "AB"});
  record[64 + 3] = 'X';  // after the terminating zero: not part of the name
  EXPECT_EQ(EntryFromRecord(record).listText, Padded("AB"));
}

TEST(IndexRecords, DetailTextHoldsNamesThenTheSixNumbersAtFixedPositions) {
  const CatalogueEntry entry =
      EntryFromRecord(IndexRecord({"arial12", "Arial", "Arial 12", 255, 7, 1, 0, 1, 0}));
  ASSERT_EQ(entry.detailText.size(), 76u);
  EXPECT_EQ(entry.detailText.substr(0, 32), Padded("arial12"));
  EXPECT_EQ(entry.detailText.substr(32, 32), Padded("Arial"));
  EXPECT_EQ(entry.detailText.substr(64, 8), " 255   7");
  EXPECT_EQ(entry.detailText.substr(72), "1010");

  const std::string fullBase(32, 'n');
  EXPECT_EQ(EntryFromRecord(IndexRecord({fullBase, fullBase, "x"})).detailText.substr(0, 64), fullBase + fullBase);
}

TEST(IndexRecords, FlagsOutsideZeroToNineLengthenTheTextButStayWithinTheRecord) {
  // A record as the last bytes of the buffer: any read past byte 101 is caught by the sanitizer.
  const std::string record = IndexRecord({"b", "f", "n", 0, 12, -128, 100, -1, 9});
  const FontCatalogue catalogue = ParseCatalogue(record);
  ASSERT_EQ(catalogue.size(), 1u);
  EXPECT_EQ(catalogue[0].detailText.substr(64), "   0  12-128100-19");
}

TEST(IndexRecords, AHugeBufferGivesAtMostTheEntryCap) {
  const std::string record = IndexRecord({"b", "f", "n"});
  std::string bytes;
  bytes.reserve((kMaxCatalogueEntries + 2) * kIndexRecordSize);
  for (size_t i = 0; i < kMaxCatalogueEntries + 2; ++i) bytes += record;
  EXPECT_EQ(ParseCatalogue(bytes).size(), kMaxCatalogueEntries);
}

TEST(FontNames, BaseNameLosesOnlyTrailingSpacesAndNamesTheSheFileInFontExt) {
  const CatalogueEntry entry = EntryFromRecord(IndexRecord({" my font", "Face", "Name"}));
  EXPECT_EQ(FileBaseName(entry), " my font");
  EXPECT_EQ(FontPathOf("/opt/corvelle", entry), "/opt/corvelle/FontExt/ my font.she");
  const std::string full(32, 'z');
  EXPECT_EQ(FileBaseName(EntryFromRecord(IndexRecord({full, "f", "n"}))), full);
}

class LoadCatalogueTest : public ::testing::Test {
 protected:
  std::string WriteIndex(std::string_view name, const std::string& bytes) {
    return dir.Write("FontExt/" + std::string(name), bytes);
  }
  TempDir dir;
};

TEST_F(LoadCatalogueTest, EachChoiceReadsItsOwnIndexFile) {
  const char* names[] = {"Index1250.shi", "Index1251.shi", "Index1252.shi",
                         "Index1253.shi", "Index.shi",     "IndexStandardSet.shi"};
  for (int choice = 0; choice < kCodePageChoices; ++choice) {
    EXPECT_EQ(IndexFileName(choice), names[choice]);
    WriteIndex(names[choice], IndexRecord({"b", "f", "choice " + std::to_string(choice)}));
  }
  for (int choice = 0; choice < kCodePageChoices; ++choice) {
    const FontCatalogue catalogue = LoadCatalogue(dir.Path(), choice);
    ASSERT_EQ(catalogue.size(), 1u) << choice;
    EXPECT_EQ(catalogue[0].listText, Padded("choice " + std::to_string(choice)));
  }
  EXPECT_TRUE(LoadCatalogue(dir.Path(), -1).empty());
  EXPECT_TRUE(LoadCatalogue(dir.Path(), 6).empty());
  EXPECT_EQ(IndexFileName(6), "");
}

TEST_F(LoadCatalogueTest, FileIsReadLikeTheBufferIncludingAShortTail) {
  std::string bytes;
  for (int i = 0; i < 300; ++i) {
    bytes += IndexRecord({"b" + std::to_string(i), "f", "n" + std::to_string(i % 7), 0, static_cast<uint8_t>(i)});
  }
  bytes += "tail";
  WriteIndex("Index1252.shi", bytes);
  const FontCatalogue catalogue = LoadCatalogue(dir.Path(), 2);
  EXPECT_EQ(catalogue.size(), 300u);
  EXPECT_EQ(catalogue, ParseCatalogue(bytes));
}

TEST_F(LoadCatalogueTest, MissingEmptyOrUnreadableIndexGivesAnEmptyCatalogue) {
  EXPECT_TRUE(LoadCatalogue(dir.Path(), 0).empty());
  WriteIndex("Index1250.shi", "");
  EXPECT_TRUE(LoadCatalogue(dir.Path(), 0).empty());
  MakeFolders(dir.File("FontExt/Index1251.shi"));
  EXPECT_TRUE(LoadCatalogue(dir.Path(), 1).empty());
}

TEST(CodePageChoice, ProfileKeyDefaultsToWin1252) {
  Profile profile;
  EXPECT_EQ(StoredCodePageChoice(profile), 2);
  StoreCodePageChoice(profile, 4);
  EXPECT_EQ(profile.GetString("Impostazione porta", "Codepage", ""), "4");
  EXPECT_EQ(StoredCodePageChoice(profile), 4);
}

TEST(Preview, HeightWeightItalicAndUnderlineComeFromTheDetailText) {
  const CatalogueEntry entry = EntryFromRecord(IndexRecord({"b", "Times New Roman", "n", 0, 12, 0, 1, 0, 1}));
  const auto font = DecodePreview(entry.detailText);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->faceName, "Times New Roman");
  EXPECT_EQ(font->height, 12);
  EXPECT_EQ(font->weight, 700);
  EXPECT_FALSE(font->italic);
  EXPECT_TRUE(font->underline);
}

TEST(Preview, TheFlagBeforeBoldDoesNotMakeTheFontBold) {
  const auto font = DecodePreview(EntryFromRecord(IndexRecord({"b", "F", "n", 200, 255, 1, 0, 1, 0})).detailText);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->weight, 400);
  EXPECT_EQ(font->height, 255);
  EXPECT_TRUE(font->italic);
  EXPECT_FALSE(font->underline);
}

TEST(Preview, TextShorterThan76CharactersGivesNoPreview) {
  const std::string text = EntryFromRecord(IndexRecord({"b", "F", "n", 0, 9, 0, 1, 1, 1})).detailText;
  EXPECT_FALSE(DecodePreview(text.substr(0, 75)));
  EXPECT_FALSE(DecodePreview(""));
  const auto font = DecodePreview(text);
  ASSERT_TRUE(font);
  EXPECT_EQ(font->height, 9);
}

}  // namespace
}  // namespace corvelle
