// SPDX-License-Identifier: MIT
// The files around an image build: the scratch header after an empty selection, a stopped build,
// one stored path however its folders are spelled (and with dots in them); sections moved to the
// area boundary, the size limits, and the reader on images up to exactly the limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include "FontSetKit.h"
#include "fontset/FontSetBuilder.h"
#include "fontset/ImagePlan.h"
#include "fontset/ImageReader.h"
#include "resources/Strings.h"

namespace corvelle::test {
namespace {

// A stopped build leaves the previous image and no new file; a build of no fonts leaves only the
// part-0 table in the scratch file.
TEST(ImageFiles, AStoppedBuildLeavesThePreviousImageAndNoNewFileAndNoFontsOnlyThePartZeroTable) {
  FontSetKit kit;
  kit.AddFont(1, "a", {100, 300000, 20, 30});
  ASSERT_TRUE(kit.Build());
  const std::string previous = ReadFile(kit.ImagePath()), scratch = ScratchHeaderPath(kit.dir.Path());
  EXPECT_EQ(ReadFile(scratch).size(), kFontSetFormat.headerSize);
  const size_t files = EntriesIn(kit.dir.Path());
  kit.AddFont(1, "b", {100, 200000});
  int asked = 0;
  const FontSetBuildContext context{kit.profile, kit.dir.Path(), [&] { return ++asked > 3; }};
  const Result<BuiltImage> built = BuildFontSet(context, "");
  EXPECT_TRUE(asked > 3 && !built && built.Failure().Stopped() && built.Failure().message.empty()) << asked;
  EXPECT_TRUE(ReadFile(kit.ImagePath()) == previous && EntriesIn(kit.dir.Path()) == files);
  kit.Store(1, "***");
  EXPECT_FALSE(kit.Build());
  EXPECT_EQ(ReadFile(scratch), ImageHeader(false, {}, {}).substr(0, 112 * 4));
  EXPECT_EQ(kit.host.messages.back().text, LoadStr(IDS_NO_FONTS_SELECTED));
}

// A profile stores the full path of each font in FontExt. However the program folder is spelled
// (through a link, with "..", with a trailing separator) and however the stored path spells it
// (another spelling, or a Windows profile's), the same fragments are read into the same image;
// they are found beside the .she path even though the program's folders hold dots.
TEST(ImageFiles, AStoredFontPathReadsTheSameFontHoweverEitherFolderIsSpelled) {
  FontSetKit kit;
  const std::string dir = kit.program = kit.dir.File("v1.2/old.fonts"), image = kit.dir.File("out.shc");
  kit.AddFont(1, "a", {100, 1000, 60, 300});
  ASSERT_TRUE(kit.Build(false, image)) << kit.OnlyMessage();
  const std::string expected = ReadFile(image);
  std::vector<std::string> programs = {dir, dir + "/", dir + "/FontExt/.."};
  std::vector<std::string> storedPaths = {dir + "/FontExt/a.she", dir + "//FontExt/../FontExt/a.she",
                                          "C:\\Corvelle\\FontExt\\a.she"};
#ifndef _WIN32
  const std::string link = kit.dir.File("via-link");
  ASSERT_EQ(::symlink(dir.c_str(), link.c_str()), 0);
  programs.push_back(link);
  storedPaths.push_back(link + "/FontExt/a.she");
#endif
  for (const std::string& program : programs)
    for (const std::string& stored : storedPaths) {
      kit.program = program;
      kit.Store(1, stored);
      ASSERT_TRUE(::unlink(image.c_str()) == 0 && kit.Build(false, image)) << program << " " << stored;
      EXPECT_TRUE(ReadFile(image) == expected) << program << " " << stored;
    }
}

// Fonts at positions 1.. and the offsets their part-0 and part-1 sections get, each section after
// 0xFF fill up to its offset. Rows: 0x1000 bytes of fill; the first section ends at the boundary
// and the image at the limit; one byte more; a section larger than the first area; a part-1
// section that would cross the boundary; FontSet.SHF at its limit and one byte over, its free
// positions holding the running offset. The reader takes the size from the file, not from how
// much is read of it, and counts the fill to the section before it, and only there.
TEST(ImageFiles, APartOneSectionThatWouldCrossTheBoundaryMovesThereAndTheReaderTakesAnImageOfExactlyTheLimit) {
  using Offsets = std::vector<std::uint32_t>;
  const std::tuple<bool, std::vector<FontSizes>, Offsets, Offsets> cases[] = {
      {false, {{0x14F000 - 0x810}, {0x2000}, {0x100}}, {0x810, 0x150000, 0x152000}, {}},
      {false, {{0x150000 - 0x810}, {0x250000}}, {0x810, 0x150000}, {}},
      {false, {{0x150000 - 0x810}, {0x250001}}, {0x810, 0x150000}, {}},
      {false, {{0x160000}}, {0x150000}, {}},
      {false, {{0x14F000 - 0x810}, {0x100, kNone, 0x2000}}, {0x810, 0x14F000}, {kAbsent, 0x150000}},
      {true, {{0x150000 - 0x100}}, {0x100, 0x150000}, {}},
      {true, {{0x150000 - 0x100}, {1}}, {0x100, 0x150000, 0x150001}, {}},
  };
  for (const auto& [legacy, fonts, part0, part1] : cases) {
    FontSetKit kit;
    std::string expected = ImageHeader(legacy, part0, part1);
    std::vector<bool> fills;  // for each section: whether fill follows it
    for (int part = 0; part < 2; ++part) {
      const Offsets& offsets = part == 0 ? part0 : part1;
      for (size_t i = 0; i < fonts.size(); ++i) {
        if (part == 0) kit.AddFont(static_cast<int>(i + 1), "f" + std::to_string(i), fonts[i]);
        if (i >= offsets.size() || offsets[i] == kAbsent) continue;
        if (!fills.empty()) fills.back() = expected.size() < offsets[i];
        expected.resize(offsets[i], '\xFF');
        expected += kit.Section("f" + std::to_string(i), part);
        fills.push_back(false);
      }
    }
    const bool fits = expected.size() <= (legacy ? 0x150000u : 0x3A0000u);
    EXPECT_EQ(kit.Build(legacy), fits);
    EXPECT_TRUE(ReadFile(kit.ImagePath(legacy)) == expected) << expected.size();  // an oversized image stays
    if (!fits) {
      EXPECT_TRUE(kit.OnlyMessage() == "Selected fonts require too much memory\nTask cancelled." &&
                  kit.host.messages[0].style == MessageStyle::Plain) << kit.OnlyMessage();
      continue;
    }
    const ImageReport report = InspectImageFile(kit.ImagePath(legacy));
    ASSERT_TRUE(report.verdict) << report.verdict.message;
    std::vector<bool> reported;
    for (const auto& entry : report.entries) reported.push_back(entry.includesBoundaryFill);
    EXPECT_TRUE(report.fileSize == expected.size() && reported == fills) << report.fileSize;
    if (expected.size() < 0x3A0000) continue;
    ASSERT_TRUE(WriteFile(kit.ImagePath(), expected + '\xFF'));
    EXPECT_EQ(InspectImageFile(kit.ImagePath()).verdict.message, "the image is 0x3A0001 bytes, more than the limit 0x3A0000");
  }
}

}  // namespace
}  // namespace corvelle::test
