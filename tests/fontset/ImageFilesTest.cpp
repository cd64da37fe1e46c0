// SPDX-License-Identifier: MIT
// The files around an image build: the scratch header after an empty selection, a stopped build,
// one stored path however its folders are spelled (and with dots in them), a part-1 section
// moved to the area boundary, and the reader on an image of exactly the limit.
#include <gtest/gtest.h>
#include <unistd.h>

#include "FontSetKit.h"
#include "fontset/FontSetBuilder.h"
#include "fontset/ImagePlan.h"
#include "fontset/ImageReader.h"
#include "resources/Strings.h"

namespace corvelle::test {
namespace {

TEST(ImageFiles, AfterNoFontsSelectedTheScratchFileHoldsOnlyThePartZeroTable) {
  FontSetKit kit;
  kit.AddFont(1, "a", {100, 300, 20, 30});
  ASSERT_TRUE(kit.Build());
  const std::string scratch = ScratchHeaderPath(kit.dir.Path());
  EXPECT_EQ(ReadFile(scratch).size(), kFontSetFormat.headerSize);
  kit.Store(1, "***");
  EXPECT_FALSE(kit.Build());
  EXPECT_EQ(ReadFile(scratch), ImageHeader(false, {}, {}).substr(0, 112 * 4));
  EXPECT_EQ(kit.host.messages.back().text, LoadStr(IDS_NO_FONTS_SELECTED));
}

TEST(ImageFiles, AStoppedBuildLeavesThePreviousImageAndNoNewFile) {
  FontSetKit kit;
  kit.AddFont(1, "a", {100, 300000});
  ASSERT_TRUE(kit.Build());
  const std::string previous = ReadFile(kit.ImagePath());
  const size_t files = EntriesIn(kit.dir.Path());
  kit.AddFont(1, "b", {100, 200000});
  int asked = 0;
  const FontSetBuildContext context{kit.profile, kit.dir.Path(), [&] { return ++asked > 3; }};
  const Result<BuiltImage> built = BuildFontSet(context, "");
  EXPECT_GT(asked, 3);
  EXPECT_TRUE(!built && built.Failure().Stopped() && built.Failure().message.empty());
  EXPECT_TRUE(ReadFile(kit.ImagePath()) == previous);
  EXPECT_EQ(EntriesIn(kit.dir.Path()), files);
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
  for (const std::string& program : programs) {
    for (const std::string& stored : storedPaths) {
      kit.program = program;
      kit.Store(1, stored);
      ASSERT_TRUE(::unlink(image.c_str()) == 0 && kit.Build(false, image)) << program << " " << stored;
      EXPECT_TRUE(ReadFile(image) == expected) << program << " " << stored;
    }
  }
}

TEST(ImageFiles, APartOneSectionThatWouldCrossTheBoundaryMovesThere) {
  FontSetKit kit;
  kit.AddFont(1, "a", {0x14F000 - 0x810});
  kit.AddFont(2, "b", {0x100, kNone, 0x2000});
  ASSERT_TRUE(kit.Build());
  std::string expected = ImageHeader(false, {0x810, 0x14F000}, {kAbsent, 0x150000}) + kit.Section("a", 0) +
                         kit.Section("b", 0);
  expected.resize(0x150000, '\xFF');
  expected += kit.Section("b", 1);
  EXPECT_TRUE(ReadFile(kit.ImagePath()) == expected);
  // The reader counts the fill to the section before it, and only there.
  const ImageReport report = InspectImageFile(kit.ImagePath());
  ASSERT_TRUE(report.verdict && report.entries.size() == 3) << report.verdict.message;
  EXPECT_EQ(std::vector<bool>({report.entries[0].includesBoundaryFill, report.entries[1].includesBoundaryFill,
                               report.entries[2].includesBoundaryFill}),
            std::vector<bool>({false, true, false}));
}

// The size comes from the file, not from how much is read of it: an image of exactly the limit
// is consistent, and one byte more is refused with its true size.
TEST(ImageFiles, TheReaderTakesAnImageOfExactlyTheLimit) {
  FontSetKit exact;
  exact.AddFont(1, "a", {0x150000 - 0x810});
  exact.AddFont(2, "b", {0x250000});
  ASSERT_TRUE(exact.Build());
  const ImageReport full = InspectImageFile(exact.ImagePath());
  EXPECT_TRUE(full.verdict) << full.verdict.message;
  EXPECT_EQ(full.fileSize, 0x3A0000u);
  ASSERT_EQ(full.entries.size(), 2u);
  EXPECT_FALSE(full.entries[0].includesBoundaryFill);
  ASSERT_TRUE(WriteFile(exact.ImagePath(), ReadFile(exact.ImagePath()) + '\xFF'));
  EXPECT_EQ(InspectImageFile(exact.ImagePath()).verdict.message, "the image is 0x3A0001 bytes, more than the limit 0x3A0000");
}

}  // namespace
}  // namespace corvelle::test
