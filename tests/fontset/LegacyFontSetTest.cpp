// FontSet.SHF: running offsets for free positions, only positions 1..8, its own size limit.
// (Its worked example is tested beside FontSet.SHC's.)
#include <gtest/gtest.h>

#include "FontSetKit.h"
#include "resources/Strings.h"

namespace corvelle::test {
namespace {

constexpr auto Header = LegacyFontSetHeader;

TEST(LegacyFontSet, FreePositionsCarryTheRunningOffsetAndPositionsNineOnAreIgnored) {
  FontSetKit kit;
  kit.AddFont(3, "c", {0x10, 0x20, kNone, kNone});
  kit.AddFont(9, "ignored", {0x10, 0x20, 0x10, 0x10});
  ASSERT_TRUE(kit.BuildLegacy());
  const std::string image = ReadFile(kit.LegacyImagePath());
  EXPECT_EQ(image, Header({0x100, 0x100, 0x100, 0x130, 0x130, 0x130, 0x130, 0x130},
                          {0x130, 0x130, 0x130, 0x130, 0x130, 0x130, 0x130, 0x130}) +
                       kit.Section("c", 0));

  FontSetKit onlyLater;
  onlyLater.AddFont(9, "x", {0x10, 0x20, kNone, kNone});
  onlyLater.AddFont(112, "y", {0x10, 0x20, kNone, kNone});
  EXPECT_FALSE(onlyLater.BuildLegacy());
  EXPECT_EQ(onlyLater.OnlyMessage(), LoadStr(IDS_NO_FONTS_SELECTED));
  EXPECT_FALSE(FileExists(onlyLater.LegacyImagePath()));
}

TEST(LegacyFontSet, ExactlyTheLegacyLimitIsAcceptedAndOneByteMoreIsRefused) {
  FontSetKit fits;
  fits.AddFont(1, "a", {0x100, 0x150000 - 0x200, kNone, kNone});
  EXPECT_TRUE(fits.BuildLegacy());
  EXPECT_EQ(ReadFile(fits.LegacyImagePath()).size(), 0x150000u);

  FontSetKit over;
  over.AddFont(1, "a", {0x100, 0x150000 - 0x200, kNone, kNone});
  over.AddFont(8, "b", {1, kNone, kNone, kNone});
  EXPECT_FALSE(over.BuildLegacy());
  EXPECT_EQ(over.OnlyMessage(), LoadStr(IDS_TOO_MUCH_MEMORY));
  EXPECT_EQ(ReadFile(over.LegacyImagePath()).size(), 0x150001u);
}

}  // namespace
}  // namespace corvelle::test
