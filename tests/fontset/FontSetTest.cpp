// SPDX-License-Identifier: MIT
// Building FontSet.SHC and FontSet.SHF: the worked examples, the presence rules, the area
// boundary, the size limits, builds that cannot complete; and the image reader, which reads
// random builds back section by section and rejects damaged images.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <map>
#include <random>

#include "FontSetKit.h"
#include "base/Paths.h"
#include "fontset/FontSetFormat.h"
#include "fontset/ImagePlan.h"
#include "fontset/ImageReader.h"
#include "fontset/ImageWriter.h"
#include "support/Unprivileged.h"

namespace corvelle::test {
namespace {

TEST(FontSet, BothWorkedExamplesComeOutByteForByte) {
  for (const bool legacy : {false, true}) {
    FontSetKit kit;  // "a" at 1 with part 0 only, "b" at 2 with both parts
    kit.AddFont(1, "a", {100, 1000});
    kit.AddFont(2, "b", {80, 500, 60, 300});
    ASSERT_TRUE(kit.Build(legacy));
    const std::string header = legacy ? ImageHeader(true, {0x100, 0x54C, 0x790}, {0x790, 0x790, 0x8F8})
                                      : ImageHeader(false, {0x810, 0xC5C}, {kAbsent, 0xEA0});
    EXPECT_EQ(ReadFile(kit.builtPath), header + kit.Section("a", 0) + kit.Section("b", 0) + kit.Section("b", 1));
  }
}

TEST(FontSet, OnlyAPartZeroHeaderMakesAFontPresent) {
  FontSetKit kit;
  kit.AddFont(1, "nohead", {kNone, 700, 100, 200});  // a part 1, and part 0 data without its header
  EXPECT_FALSE(kit.Build());
  kit.AddFont(9, "late", {10, 20, 10, 10});  // FontSet.SHF takes positions 1..8 only
  EXPECT_FALSE(kit.Build(true));
  ASSERT_EQ(kit.host.messages.size(), 2u);
  for (const RecordedMessage& m : kit.host.messages) {
    EXPECT_EQ(std::tie(m.text, m.style), std::make_tuple("No additional fonts selected", MessageStyle::Exclamation));
  }
  EXPECT_FALSE(FileExists(kit.ImagePath()) || FileExists(kit.ImagePath(true)));
}

TEST(FontSet, SectionsMoveToTheAreaBoundaryAfter0xFFFillAndTheLimitIsExact) {
  // Header-only fonts of these sizes at positions 1.., and the part-0 table they give. Rows: 0x1000
  // bytes of fill; the first section ends at the boundary and the image at the limit; one byte
  // more; a section larger than the first area; FontSet.SHF at its limit and one byte over, its
  // free positions holding the running offset.
  const std::tuple<bool, std::vector<long>, std::vector<std::uint32_t>> cases[] = {
      {false, {0x14F000 - 0x810, 0x2000, 0x100}, {0x810, 0x150000, 0x152000}},
      {false, {0x150000 - 0x810, 0x250000}, {0x810, 0x150000}},
      {false, {0x150000 - 0x810, 0x250001}, {0x810, 0x150000}},
      {false, {0x160000}, {0x150000}},
      {true, {0x150000 - 0x100}, {0x100, 0x150000}},
      {true, {0x150000 - 0x100, 1}, {0x100, 0x150000, 0x150001}},
  };
  for (const auto& [legacy, sizes, part0] : cases) {
    FontSetKit kit;
    std::string expected = ImageHeader(legacy, part0, {});
    for (size_t i = 0; i < sizes.size(); ++i) {
      kit.AddFont(static_cast<int>(i + 1), "f" + std::to_string(i), {sizes[i]});
      expected.resize(part0[i], '\xFF');
      expected += kit.Section("f" + std::to_string(i), 0);
    }
    const bool fits = expected.size() <= (legacy ? 0x150000u : 0x3A0000u);
    EXPECT_EQ(kit.Build(legacy), fits);
    EXPECT_TRUE(ReadFile(kit.ImagePath(legacy)) == expected) << expected.size();  // an oversized image stays
    if (fits) continue;
    EXPECT_EQ(kit.OnlyMessage(), "Selected fonts require too much memory\nTask cancelled.");
    EXPECT_EQ(kit.host.messages[0].style, MessageStyle::Plain);
  }
}

TEST(FontSetFailure, AFullDiskOrAFragmentChangedAfterSizingEndsTheWriteAndLeavesNoImage) {
  FontSetKit kit;
  const auto addFonts = [&] {
    kit.AddFont(1, "a", {100, 3000});
    kit.AddFont(2, "b", {100, 3000, 50, 500});
  };
  addFonts();
  const std::string full = "Error writing output file\n" + kit.ImagePath() + " (File too large)";
  // Files may not grow past 4 KiB, as on a full disk: the header fits, the image does not.
  EXPECT_EQ(RunInChild([&] {
              signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{4096, 4096};
              const bool failed = setrlimit(RLIMIT_FSIZE, &limit) == 0 && !kit.Build();
              return failed && kit.OnlyMessage() == full && kit.builtPath.empty() ? 0 : 1;
            }),
            0);
  EXPECT_FALSE(FileExists(kit.ImagePath()));

  ASSERT_TRUE(kit.Build());  // leaves the scratch header of this selection
  const ImagePlan plan = PlanImage(kFontSetFormat, ReadStoredSelection(kit.profile, 112, kit.dir.Path()));
  // Vanished, grown and shrunk fragments (they held 3000, 100 and 500 bytes).
  const std::pair<const char*, long> cases[] = {{"a0.sh", kNone}, {"b0.hea", 101}, {"b1.sh", 5}};
  for (const auto& [fragment, size] : cases) {
    addFonts();
    const std::string path = kit.Fragment(fragment), image = kit.dir.File("out.shc");
    ASSERT_TRUE(size == kNone ? unlink(path.c_str()) == 0 : WriteFile(path, std::string(size, 'x')));
    const Result<WrittenImage> result = WriteImage(plan, plan.HeaderBytes(), image);
    EXPECT_FALSE(result);
    EXPECT_EQ(result.Failure().message, std::string(size == kNone ? "Font file disappeared" : "Font file changed") +
                                " while the font set was built\n" + path);
    EXPECT_FALSE(FileExists(image));
  }
}

TEST(ImageReader, RandomBuildsReadBackWithEverySectionAtItsOffset) {
  std::mt19937 random(0x5EED);  // the same cases on every run and machine
  const auto below = [&](long n) { return static_cast<long>(random() % static_cast<unsigned long>(n)); };
  const auto any = [&](long max) { return below(3) == 0 ? kNone : below(max); };
  // 80 fonts, the first two large enough to reach the area boundary, any fragment of the others missing.
  FontSetKit kit;
  kit.AddFont(1, "f0", {100, 0x14F000 + below(0x4000)});
  kit.AddFont(1, "f1", {100, 0x14F000 + below(0x4000)});
  for (int i = 2; i < 80; ++i) kit.AddFont(1, "f" + std::to_string(i), {any(2000), any(3000), any(500), any(3000)});
  int built = 0, moved = 0;
  for (int round = 0; round < 300; ++round) {
    const bool legacy = round % 4 == 3;
    std::map<int, long> stored;  // position: pool index
    kit.profile = Profile();
    for (long i = 0, fonts = 1 + below(legacy ? 10 : 24); i < fonts; ++i) {
      const int position = 1 + static_cast<int>(below(legacy ? 12 : 112));
      stored[position] = round % 24 == 0 && i == 0 ? below(2) : 2 + below(78);
      kit.Store(position, kit.Fragment("f" + std::to_string(stored[position]) + ".she"));
    }
    if (!kit.Build(legacy)) continue;  // no part 0 stored: the presence tests cover that
    ++built;
    const std::string image = ReadFile(kit.builtPath);
    const ImageReport report = InspectImage(image);
    ASSERT_TRUE(report.verdict) << "round " << round << ": " << report.verdict.message;
    auto entry = report.entries.begin();
    for (int part = 0; part < 2; ++part) {
      for (const auto& [position, font] : stored) {
        const std::string name = "f" + std::to_string(font), section = kit.Section(name, part);
        const bool present = FileExists(kit.Fragment(name + std::to_string(part) + ".hea"));
        if (position > (legacy ? 8 : 112) || !present || (legacy && section.empty())) continue;
        ASSERT_TRUE(entry != report.entries.end() && entry->position == position && entry->part == part) << round;
        EXPECT_EQ(image.compare(entry->offset, section.size(), section), 0) << round;
        EXPECT_TRUE(entry->size == section.size() || entry->includesBoundaryFill) << round;
        moved += (entry++)->offset == AREA_BOUNDARY;
      }
    }
    EXPECT_TRUE(entry == report.entries.end()) << round;
  }
  EXPECT_GT(built, 250);
  EXPECT_GT(moved, 3);
}

TEST(ImageReader, DamagedImagesAreRejectedWithTheFirstProblem) {
  // Sections at 0x810, 0xC5C and 0xEA0, as in the worked example.
  const std::string good = ImageHeader(false, {0x810, 0xC5C}, {kAbsent, 0xEA0}) + std::string(0x1008 - 0x810, 'x');
  ASSERT_TRUE(InspectImage(good).verdict);
  const auto put = [&](size_t at, std::uint32_t v) { return std::string(good).replace(at, 4, BigEndianBytes(v)); };
  const std::pair<std::string, std::string> cases[] = {
      {good.substr(0, 0x50), "the file is 80 bytes, shorter than any image header"},
      {put(0x1C4, 0x900), "position 2 part 1 at 0x900 comes before position 2 part 0 at 0xC5C"},
      {put(0x80C, 0x44332212), "no image tag (KRV1D3 22 11) at 0xF8 or 0x808"},
  };
  for (const auto& [image, problem] : cases) EXPECT_EQ(InspectImage(image).verdict.message, problem);
}

}  // namespace
}  // namespace corvelle::test
