// The selection operations behind "-->", "<--", "Empty list" and the GN1 checkbox.
#include <gtest/gtest.h>

#include "CatalogueTesting.h"
#include "catalogue/FontSelection.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

using test::IndexRecord;
using test::Padded;

constexpr const char* kProgram = "/prog";

FontCatalogue MakeCatalogue(int count) {
  std::string bytes;
  for (int i = 0; i < count; ++i) {
    bytes += IndexRecord({"font" + std::to_string(i), "Face", "Font " + std::to_string(i)});
  }
  return ParseCatalogue(bytes);
}

SelectionSlot SlotOf(int index) {
  return {Padded("Font " + std::to_string(index)), "/prog/FontExt/font" + std::to_string(index) + ".she"};
}

class AddSelectedTest : public ::testing::Test {
 protected:
  AddOutcome Add(std::optional<int> destination, std::vector<int> indices, bool hasCurrent = true,
                 bool legacy = false) {
    return AddSelected(selection, catalogue, kProgram, {destination, std::move(indices), hasCurrent, legacy},
                       [this](const std::string& text) {
                         questions.push_back(text);
                         return answer;
                       });
  }

  FontCatalogue catalogue = MakeCatalogue(400);
  FontSelection selection;
  std::vector<std::string> questions;
  MessageAnswer answer = MessageAnswer::Ok;
};

TEST_F(AddSelectedTest, PlacesLowestIndicesFirstAndDropsFontsPastTheLastPosition) {
  const AddOutcome outcome = Add(110, {40, 10, 30, 0, 20});
  EXPECT_FALSE(outcome.refusal);
  EXPECT_EQ(outcome.placed, 2);
  EXPECT_TRUE(outcome.clearDestination);
  EXPECT_EQ(selection[110], SlotOf(0));
  EXPECT_EQ(selection[111], SlotOf(10));
  EXPECT_EQ(selection[109], SelectionSlot{});
}

TEST_F(AddSelectedTest, OverwritesAnOccupiedPositionAndAllowsDuplicates) {
  Add(3, {7});
  Add(3, {8});
  Add(4, {8});
  EXPECT_EQ(selection[3], SlotOf(8));
  EXPECT_EQ(selection[4], SlotOf(8));
}

TEST_F(AddSelectedTest, RefusalsComeInOrderAndLeaveTheSelectionAlone) {
  std::vector<int> many(113);
  for (int i = 0; i < 113; ++i) many[static_cast<size_t>(i)] = i;

  const FontSelection before = selection;
  const AddOutcome noDestination = Add(std::nullopt, many, false);
  ASSERT_TRUE(noDestination.refusal);
  EXPECT_EQ(noDestination.refusal->id, IDS_SELECT_DESTINATION);
  EXPECT_EQ(noDestination.refusal->text, "Select a destination position.");

  const AddOutcome tooMany = Add(0, many, false);
  ASSERT_TRUE(tooMany.refusal);
  EXPECT_EQ(tooMany.refusal->text, "Select max. 112 fonts, please.\n\nNow 113 selected.");

  const AddOutcome noCurrent = Add(0, {1}, false);
  ASSERT_TRUE(noCurrent.refusal);
  EXPECT_EQ(noCurrent.refusal->id, IDS_SELECT_AVAILABLE);
  EXPECT_EQ(noCurrent.refusal->text, "Select one available font.");

  EXPECT_EQ(Add(kSelectionPositions, {1}).refusal->id, IDS_SELECT_DESTINATION);
  EXPECT_EQ(Add(-1, {1}).refusal->id, IDS_SELECT_DESTINATION);
  EXPECT_EQ(selection, before);
  EXPECT_TRUE(questions.empty());
}

TEST_F(AddSelectedTest, TooManyFontsReportsTheTrueCountBeyond256) {
  std::vector<int> many(300);
  for (int i = 0; i < 300; ++i) many[static_cast<size_t>(i)] = i;
  const AddOutcome outcome = Add(0, many);
  ASSERT_TRUE(outcome.refusal);
  EXPECT_EQ(outcome.refusal->id, IDS_MAX_112_FONTS);
  EXPECT_EQ(outcome.refusal->text, "Select max. 112 fonts, please.\n\nNow 300 selected.");
}

TEST_F(AddSelectedTest, ExactlyTheLimitIsPlacedAndAnIndexCountsOnce) {
  std::vector<int> indices(112);
  for (int i = 0; i < 112; ++i) indices[static_cast<size_t>(i)] = 111 - i;
  indices.push_back(5);  // already selected: a list cannot select it twice
  const AddOutcome outcome = Add(0, indices);
  EXPECT_FALSE(outcome.refusal);
  EXPECT_EQ(outcome.placed, 112);
  EXPECT_EQ(selection[0], SlotOf(0));
  EXPECT_EQ(selection[111], SlotOf(111));
}

TEST_F(AddSelectedTest, SecondPressAfterAnAddFindsNoDestination) {
  std::optional<int> current = 5;  // what the window's "Selected fonts:" list reports
  const AddOutcome first = Add(current, {1});
  if (first.clearDestination) current.reset();
  const AddOutcome second = Add(current, {2});
  ASSERT_TRUE(second.refusal);
  EXPECT_EQ(second.refusal->id, IDS_SELECT_DESTINATION);
  EXPECT_EQ(selection[5], SlotOf(1));
  EXPECT_EQ(selection[6], SelectionSlot{});
}

TEST_F(AddSelectedTest, NoSelectedFontPlacesNothingButStillChecksTheLegacyLimit) {
  selection[20] = SlotOf(3);
  answer = MessageAnswer::Cancel;
  const AddOutcome outcome = Add(2, {}, true, true);
  EXPECT_FALSE(outcome.refusal);
  EXPECT_EQ(outcome.placed, 0);
  EXPECT_FALSE(outcome.clearDestination);
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_FALSE(outcome.legacyFormat);
}

TEST_F(AddSelectedTest, IndicesOutsideTheCatalogueAreSkipped) {
  const AddOutcome outcome = Add(0, {-3, 2, 400, 9999});
  EXPECT_EQ(outcome.placed, 1);
  EXPECT_EQ(selection[0], SlotOf(2));
  EXPECT_EQ(selection[1], SelectionSlot{});
}

TEST_F(AddSelectedTest, LegacyOkEmptiesPositionsEightOnIncludingTheFontJustAdded) {
  selection[7] = SlotOf(1);
  selection[100] = SlotOf(2);
  const AddOutcome outcome = Add(8, {3}, true, true);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0], "Max. 8 fonts available!\nFree other selections ?");
  EXPECT_TRUE(outcome.legacyFormat);
  EXPECT_EQ(selection[7], SlotOf(1));
  for (size_t p = 8; p < selection.size(); ++p) EXPECT_EQ(selection[p], SelectionSlot{}) << p;
}

TEST_F(AddSelectedTest, LegacyCancelKeepsTheFontAndClearsTheFlag) {
  answer = MessageAnswer::Cancel;
  const AddOutcome outcome = Add(8, {3}, true, true);
  EXPECT_EQ(questions.size(), 1u);
  EXPECT_FALSE(outcome.legacyFormat);
  EXPECT_EQ(selection[8], SlotOf(3));
}

TEST(LegacyLimit, SettingTheFlagWithPositionsEightOnEmptyAsksNothing) {
  FontSelection selection;
  for (size_t p = 0; p < 8; ++p) selection[p] = SlotOf(static_cast<int>(p));
  int asked = 0;
  const auto ask = [&](const std::string&) {
    ++asked;
    return MessageAnswer::Ok;
  };
  EXPECT_TRUE(EnforceLegacyLimit(selection, true, ask));
  EXPECT_FALSE(EnforceLegacyLimit(selection, false, ask));
  selection[111] = SlotOf(1);
  EXPECT_FALSE(EnforceLegacyLimit(selection, false, ask));
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(selection[111], SlotOf(1));
}

TEST(LegacyLimit, OnlyTheExactMarkerCountsAsEmptyWhateverTheNameLength) {
  FontSelection selection;
  selection[50].fontPath = "/somewhere/x.she";  // the path does not decide
  EXPECT_FALSE(ExceedsLegacyLimit(selection, true));
  for (const std::string& name : {std::string("***") + std::string(5000, 'x'), std::string("**"), std::string(""),
                                 std::string("*** ")}) {
    selection[50].displayName = name;
    EXPECT_TRUE(ExceedsLegacyLimit(selection, true)) << name.size();
    EXPECT_FALSE(ExceedsLegacyLimit(selection, false));
  }
}

TEST(RemoveAndEmpty, RemoveEmptiesOnlyTheCurrentPosition) {
  FontSelection selection;
  selection[3] = SlotOf(3);
  selection[4] = SlotOf(4);
  const FontSelection before = selection;
  EXPECT_FALSE(RemoveSelected(selection, std::nullopt));
  EXPECT_FALSE(RemoveSelected(selection, 112));
  EXPECT_EQ(selection, before);
  EXPECT_TRUE(RemoveSelected(selection, 3));
  EXPECT_EQ(selection[3].displayName, "***");
  EXPECT_EQ(selection[3].fontPath, "***");
  EXPECT_EQ(selection[4], SlotOf(4));
}

TEST(RemoveAndEmpty, EmptyListLeavesAll112PositionsEmpty) {
  FontSelection selection;
  for (size_t p = 0; p < selection.size(); ++p) selection[p] = SlotOf(static_cast<int>(p));
  EmptySelection(selection);
  for (const SelectionSlot& slot : selection) {
    EXPECT_EQ(slot.displayName, "***");
    EXPECT_EQ(slot.fontPath, "***");
  }
}

}  // namespace
}  // namespace corvelle
