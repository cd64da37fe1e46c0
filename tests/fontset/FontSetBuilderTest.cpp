// FontSet.SHC: the worked examples, the area boundary, the size limit and the presence rules.
#include <gtest/gtest.h>

#include "FontSetKit.h"
#include "base/Paths.h"
#include "fontset/FontSetFormat.h"
#include "fontset/ImageReader.h"
#include "resources/Strings.h"

namespace corvelle::test {
namespace {

constexpr auto Header = FontSetHeader;

TEST(FontSet, BothWorkedExamplesComeOutByteForByte) {
  struct Example {
    bool legacy;
    std::string header;
    std::string trailer;  // the bytes before the tag, and the tag
  };
  const Example examples[] = {
      {false, FontSetHeader({0x810, 0xC5C}, {0xFFFFFFFF, 0xEA0}), std::string("\0\0\0\0\0\0\0\x70KRV1D3\x22\x11", 16)},
      {true,
       LegacyFontSetHeader({0x100, 0x54C, 0x790, 0x790, 0x790, 0x790, 0x790, 0x790},
                           {0x790, 0x790, 0x8F8, 0x8F8, 0x8F8, 0x8F8, 0x8F8, 0x8F8}),
       std::string("\0\0\0\x08KRV1D3\x22\x11", 12)},
  };
  for (const Example& example : examples) {
    FontSetKit kit;
    kit.AddWorkedExampleFonts();
    ASSERT_TRUE(example.legacy ? kit.BuildLegacy() : kit.Build());
    EXPECT_TRUE(kit.host.messages.empty());
    EXPECT_EQ(kit.builtPath, kit.dir.File(example.legacy ? "program/FontSet.SHF" : "program/FontSet.SHC"));
    const std::string image = ReadFile(kit.builtPath);
    EXPECT_EQ(image.size(), example.legacy ? 0x8F8u : 0x1008u);
    EXPECT_EQ(image, example.header + kit.Section("a", 0) + kit.Section("b", 0) + kit.Section("b", 1));
    EXPECT_EQ(image.substr(example.header.size() - example.trailer.size(), example.trailer.size()), example.trailer);
    EXPECT_EQ(ReadFile(kit.ScratchPath()), example.header);
  }
}

TEST(FontSet, NothingToBuildShowsNoFontsAndLeavesAnOldImageAlone) {
  FontSetKit kit;
  ASSERT_TRUE(WriteFile(kit.ImagePath(), "old image"));
  EXPECT_FALSE(kit.Build());
  ASSERT_EQ(kit.host.messages.size(), 1u);
  EXPECT_EQ(kit.host.messages[0].text, "No additional fonts selected");
  EXPECT_EQ(kit.host.messages[0].style, MessageStyle::Exclamation);
  EXPECT_EQ(ReadFile(kit.ImagePath()), "old image");
  EXPECT_EQ(ReadFile(kit.ScratchPath()), std::string(448, '\xFF'));  // the part-0 table only

  // Fonts with a part 1 only, or no header fragment, or a stored value without a '.', do not count.
  FontSetKit partOneOnly;
  partOneOnly.AddFont(1, "p1", {kNone, 500, 100, 200});
  partOneOnly.AddFont(2, "nodot", {10, 10, kNone, kNone});
  partOneOnly.Store(2, partOneOnly.FragmentPath("nodot", ""));
  partOneOnly.Store(3, partOneOnly.dir.File("FontExt/missing.she"));
  EXPECT_FALSE(partOneOnly.Build());
  EXPECT_EQ(partOneOnly.OnlyMessage(), LoadStr(IDS_NO_FONTS_SELECTED));
  EXPECT_FALSE(FileExists(partOneOnly.ImagePath()));
}

TEST(FontSet, PresenceFollowsTheHeaderFragmentOnly) {
  FontSetKit kit;
  kit.AddFont(1, "nohead", {kNone, 700, kNone, kNone});  // data fragment without header: nothing
  kit.AddFont(2, "headonly", {90, kNone, kNone, kNone});  // header without data: the header alone
  kit.AddFont(3, "full", {10, 20, kNone, kNone});
  MakeFolders(kit.FragmentPath("dir", "0.hea"));  // a folder is not a fragment
  kit.Store(4, kit.FragmentPath("dir", ".she"));
  ASSERT_TRUE(kit.Build());
  const std::string image = ReadFile(kit.ImagePath());
  EXPECT_EQ(image, Header({0xFFFFFFFF, 0x810, 0x810 + 90}, {}) + kit.Section("headonly", 0) + kit.Section("full", 0));
}

// Three parts: one of `first` bytes from 0x810, then two of `second` and 0x100 bytes.
std::string BoundaryImage(FontSetKit& kit, long first, long second) {
  kit.AddFont(1, "big", {0x100, first - 0x100, kNone, kNone});
  kit.AddFont(2, "edge", {0x80, second - 0x80, kNone, kNone});
  kit.AddFont(3, "tail", {0x10, 0xF0, kNone, kNone});
  EXPECT_TRUE(kit.Build());
  return ReadFile(kit.ImagePath());
}

TEST(FontSet, TheSectionThatWouldCrossTheBoundaryMovesThereAfterFill) {
  FontSetKit kit;
  const std::string image = BoundaryImage(kit, 0x14F000 - 0x810, 0x2000);
  EXPECT_EQ(image.substr(0, 12), Header({0x810, 0x150000, 0x152000}, {}).substr(0, 12));
  EXPECT_EQ(image.substr(0x14F000, 0x1000), std::string(0x1000, '\xFF'));
  EXPECT_EQ(image.substr(0x150000, 0x2000), kit.Section("edge", 0));
  EXPECT_EQ(image.size(), 0x152100u);
  EXPECT_TRUE(InspectImage(image).consistent) << InspectImage(image).problem;
}

TEST(FontSet, ASectionEndingExactlyAtTheBoundaryStaysAndTheNextFollowsWithoutFill) {
  FontSetKit kit;
  const std::string image = BoundaryImage(kit, 0x150000 - 0x810, 0x100);
  EXPECT_EQ(image.substr(0, 12), Header({0x810, 0x150000, 0x150100}, {}).substr(0, 12));
  EXPECT_EQ(image.size(), 0x150200u);
  EXPECT_EQ(image.substr(0x150000, 0x100), kit.Section("edge", 0));
}

TEST(FontSet, TheMovedSectionMayBeAPartOne) {
  FontSetKit kit;
  kit.AddFont(1, "a", {0x10, 0x100000, 0x10, 0x60000});  // part 1 of position 1 would cross
  kit.AddFont(2, "b", {0x10, 0x1000, 0x10, 0x100000});
  ASSERT_TRUE(kit.Build());
  const std::string image = ReadFile(kit.ImagePath());
  EXPECT_EQ(BigEndian(image, 0x1C0), 0x150000u);
  EXPECT_EQ(BigEndian(image, 0x1C4), 0x150000u + 0x60010);
  const ImageReport report = InspectImage(image);
  EXPECT_TRUE(report.consistent) << report.problem;
}

TEST(FontSet, AFirstSectionLargerThanTheFirstAreaStartsAtTheBoundary) {
  FontSetKit kit;
  kit.AddFont(1, "huge", {0x10, 0x160000, kNone, kNone});
  ASSERT_TRUE(kit.Build());
  const std::string image = ReadFile(kit.ImagePath());
  EXPECT_EQ(BigEndian(image, 0), 0x150000u);
  EXPECT_EQ(image.substr(0x810, 0x150000 - 0x810).find_first_not_of('\xFF'), std::string::npos);
  EXPECT_TRUE(InspectImage(image).consistent) << InspectImage(image).problem;
}

TEST(FontSet, ExactlyTheLimitIsAcceptedAndOneByteMoreIsRefusedLeavingTheFile) {
  FontSetKit fits;
  fits.AddFont(1, "a", {0x100, 0x150000 - 0x810 - 0x100, kNone, kNone});
  fits.AddFont(2, "b", {0x100, 0x3A0000 - 0x150000 - 0x100, kNone, kNone});
  EXPECT_TRUE(fits.Build());
  EXPECT_EQ(ReadFile(fits.ImagePath()).size(), 0x3A0000u);

  FontSetKit over;
  over.AddFont(1, "a", {0x100, 0x150000 - 0x810 - 0x100, kNone, kNone});
  over.AddFont(2, "b", {0x100, 0x3A0000 - 0x150000 - 0x100 + 1, kNone, kNone});
  EXPECT_FALSE(over.Build());
  ASSERT_EQ(over.host.messages.size(), 1u);
  EXPECT_EQ(over.host.messages[0].text, "Selected fonts require too much memory\nTask cancelled.");
  EXPECT_EQ(over.host.messages[0].style, MessageStyle::Plain);
  EXPECT_EQ(ReadFile(over.ImagePath()).size(), 0x3A0001u);
}

TEST(FontSet, AGivenOutputPathIsUsedAsGivenAndAnOldLongerFileIsReplaced) {
  FontSetKit kit;
  kit.AddFont(7, "only", {4, 8, kNone, kNone});
  const std::string output = kit.dir.Write("elsewhere/mine.bin", std::string(100000, 'x'));
  ASSERT_TRUE(kit.Build(output));
  EXPECT_EQ(kit.builtPath, output);
  EXPECT_EQ(ReadFile(output).size(), 0x810u + 12);
  EXPECT_FALSE(FileExists(kit.ImagePath()));
  EXPECT_EQ(BigEndian(ReadFile(output), 6 * 4), 0x810u);
}

}  // namespace
}  // namespace corvelle::test
