// SPDX-License-Identifier: MIT
// The selection operations behind "-->" and the GN1 checkbox.
#include <gtest/gtest.h>

#include "CatalogueTesting.h"
#include "catalogue/FontSelection.h"

namespace corvelle {
namespace {

SelectionSlot SlotOf(int index) {
  return {test::Padded("Font " + std::to_string(index)), test::InFontExt("font" + std::to_string(index) + ".she")};
}

class AddSelectedTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string bytes;
    for (int i = 0; i < 400; ++i) {
      bytes += test::IndexRecord({"font" + std::to_string(i), "Face", "Font " + std::to_string(i)});
    }
    catalogue = ParseCatalogue(bytes);
  }
  AddOutcome Add(std::optional<int> destination, std::vector<int> indices, bool hasCurrent = true,
                 bool legacy = false) {
    return AddSelected(selection, catalogue, "/prog", {destination, std::move(indices), hasCurrent, legacy}, ask);
  }
  const LegacyQuestion ask = [this](const std::string& text) {
    questions.push_back(text);
    return answer;
  };
  FontCatalogue catalogue;
  FontSelection selection;
  std::vector<std::string> questions;
  MessageAnswer answer = MessageAnswer::Ok;
};

TEST_F(AddSelectedTest, PlacesLowestIndexFirstOverwritingAndDropsWhatPassesTheLastPosition) {
  selection[110] = SlotOf(399);
  const AddOutcome outcome = Add(110, {40, 10, 30, -3, 0, 400, 20});  // -3 and 400 are not in the catalogue
  EXPECT_EQ(outcome.placed, 2);
  EXPECT_TRUE(outcome.clearDestination);  // a second "-->" finds no destination
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
  EXPECT_EQ(selection[8], SlotOf(3));
  EXPECT_EQ(questions.size(), 2u);

  selection[8] = SelectionSlot{};
  EXPECT_TRUE(EnforceLegacyLimit(selection, true, ask));
  EXPECT_EQ(questions.size(), 2u);     // nothing to empty: no question
  selection[50].displayName = "*** ";  // only the exact marker is empty
  EXPECT_TRUE(ExceedsLegacyLimit(selection, true));
}

}  // namespace
}  // namespace corvelle
