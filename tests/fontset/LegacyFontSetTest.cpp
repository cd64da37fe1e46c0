// FontSet.SHF: eight positions, running offsets for free positions, no boundary, its own limit.
#include <gtest/gtest.h>

#include "FontSetKit.h"
#include "resources/Strings.h"

namespace corvelle::test {
namespace {

const std::string kTrailer("\0\0\0\x08KRV1D3\x22\x11", 12);
constexpr auto Header = LegacyFontSetHeader;

TEST(LegacyFontSet, WorkedExampleComesOutByteForByte) {
  FontSetKit kit;
  kit.AddFont(1, "a", {100, 1000, kNone, kNone});
  kit.AddFont(2, "b", {80, 500, 60, 300});
  ASSERT_TRUE(kit.BuildLegacy());
  EXPECT_TRUE(kit.host.messages.empty());
  EXPECT_EQ(kit.builtPath, kit.dir.File("program/FontSet.SHF"));
  const std::vector<std::uint32_t> part0{0x100, 0x54C, 0x790, 0x790, 0x790, 0x790, 0x790, 0x790};
  const std::vector<std::uint32_t> part1{0x790, 0x790, 0x8F8, 0x8F8, 0x8F8, 0x8F8, 0x8F8, 0x8F8};
  const std::string image = ReadFile(kit.LegacyImagePath());
  EXPECT_EQ(image.size(), 0x8F8u);
  EXPECT_EQ(image, Header(part0, part1) + kit.Section("a", 0) + kit.Section("b", 0) + kit.Section("b", 1));
  EXPECT_EQ(image.substr(0xF4, 12), kTrailer);
  EXPECT_EQ(ReadFile(kit.ScratchPath()), Header(part0, part1));
}

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
