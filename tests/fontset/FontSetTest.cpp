// SPDX-License-Identifier: MIT
// Building FontSet.SHC and FontSet.SHF: the worked examples, the presence rules, the area
// boundary, the size limits, builds that cannot complete; the image reader, which reads random
// builds back section by section and rejects damaged images; the sample FontExt folder the build
// places beside the executables, and corvelle-cli build and inspect run as the built program.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <map>
#include <random>
#include <set>

#include "FontSetKit.h"
#include "base/Paths.h"
#include "fontset/FontSetFormat.h"
#include "fontset/ImagePlan.h"
#include "fontset/ImageReader.h"
#include "fontset/ImageWriter.h"
#include "support/Unprivileged.h"

namespace corvelle::test {
namespace {

TEST(FontSet, OnlyAPartZeroHeaderMakesAFontPresent) {
  FontSetKit kit;
  kit.AddFont(1, "nohead", {kNone, 700, 100, 200});  // a part 1, and part 0 data without its header
  EXPECT_FALSE(kit.Build());
  kit.AddFont(9, "late", {10, 20, 10, 10});  // FontSet.SHF takes positions 1..8 only
  EXPECT_FALSE(kit.Build(true));
  ASSERT_EQ(kit.host.messages.size(), 2u);
  for (const RecordedMessage& m : kit.host.messages)
    EXPECT_EQ(std::tie(m.text, m.style), std::make_tuple("No additional fonts selected", MessageStyle::Exclamation));
  EXPECT_FALSE(FileExists(kit.ImagePath()) || FileExists(kit.ImagePath(true)));
}

TEST(FontSetFailure, AFullDiskOrAFragmentChangedAfterSizingEndsTheWriteAndLeavesNoImage) {
  FontSetKit kit;
  const auto addFonts = [&] { kit.AddFont(1, "a", {100, 3000}); kit.AddFont(2, "b", {100, 3000, 50, 500}); };
  addFonts();
  const std::string full = "Error writing output file\n" + kit.ImagePath() + " (File too large)";
  // Files may not grow past 4 KiB, as on a full disk: the header fits, the image does not.
  EXPECT_EQ(RunInChild([&] {
              signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{4096, 4096};
              const bool failed = setrlimit(RLIMIT_FSIZE, &limit) == 0 && !kit.Build();
              return failed && kit.OnlyMessage() == full && kit.builtPath.empty() ? 0 : 1;
            }), 0);
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
    EXPECT_EQ(result.Failure().message, std::string(size == kNone ? "Font file disappeared" : "Font file changed") +
                                " while the font set was built\n" + path);
    EXPECT_FALSE(result || FileExists(image));
  }
}

TEST(ImageReader, RandomBuildsReadBackWithEverySectionAtItsOffsetAndDamagedImagesAreRejected) {
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
    for (int part = 0; part < 2; ++part)
      for (const auto& [position, font] : stored) {
        const std::string name = "f" + std::to_string(font), section = kit.Section(name, part);
        const bool present = FileExists(kit.Fragment(name + std::to_string(part) + ".hea"));
        if (position > (legacy ? 8 : 112) || !present || (legacy && section.empty())) continue;
        ASSERT_TRUE(entry != report.entries.end() && entry->position == position && entry->part == part) << round;
        EXPECT_TRUE(image.compare(entry->offset, section.size(), section) == 0 &&
                    (entry->size == section.size() || entry->includesBoundaryFill)) << round;
        moved += (entry++)->offset == AREA_BOUNDARY;
      }
    EXPECT_TRUE(entry == report.entries.end()) << round;
  }
  EXPECT_TRUE(built > 250 && moved > 3) << built << " built, " << moved << " sections at the boundary";

  // Damaged images are rejected with the first problem. Sections at 0x810, 0xC5C and 0xEA0, as in
  // the worked example.
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

TEST(SampleData, IndexFilesListFontsThatAreThereAndAllCodePagesExceedTheImageLimit) {
  const std::string fontExt = FontExtFolder(CORVELLE_BIN_DIR);
  std::string pages;
  for (const char* page : {"1250", "1251", "1252", "1253"}) pages += ReadFile(fontExt + "Index" + page + ".shi");
  const std::string all = ReadFile(fontExt + "Index.shi"), standard = ReadFile(fontExt + "IndexStandardSet.shi");
  EXPECT_TRUE(all == pages && all.size() % 102 + standard.size() % 102 == 0);
  // The kit's program folder reaches the sample fonts through a linked FontExt, so that the
  // oversized image is written into the kit's folder rather than beside the executables.
  FontSetKit kit;
  ASSERT_EQ(::symlink(fontExt.c_str(), kit.dir.File("FontExt").c_str()), 0);
  std::set<std::string> bases;
  for (size_t at = 0; at < all.size(); at += 102) {
    const std::string base = all.substr(at, 32).c_str(), face = all.substr(at + 32, 32).c_str();
    EXPECT_TRUE(bases.insert(base).second) << base;
    EXPECT_TRUE(FileExists(fontExt + base + "0.hea") && FileExists(fontExt + base + "0.sh")) << base;
    EXPECT_TRUE(FileExists(CORVELLE_BIN_DIR "/fonts/" + face + ".TTF")) << face;
    kit.Store(static_cast<int>(bases.size()), fontExt + base + ".she");
  }
  for (size_t at = 0; at < standard.size(); at += 102) EXPECT_EQ(bases.count(standard.substr(at, 32).c_str()), 1u);
  EXPECT_FALSE(kit.Build());
  EXPECT_EQ(kit.OnlyMessage(), "Selected fonts require too much memory\nTask cancelled.");
}

TEST(FontSetCli, BuildAndInspectPrintWhatTheyMadeOrReadOrTheMessage) {
  FontSetKit kit;
  const auto run = [&](std::vector<std::string> args) {  // exit status, output, error output
    EXPECT_TRUE(kit.profile.Save());
    args.insert(args.begin(), {CORVELLE_BIN_DIR "/corvelle-cli", "--program-folder", kit.dir.Path(), "--profile",
                               kit.profile.Path()});
    const ProgramRun result = RunProgram(kit.dir, args);
    return std::make_tuple(result.exit, result.out, result.err);
  };
  WriteFile(kit.ImagePath(), "old image");
  EXPECT_EQ(run({"build"}), std::make_tuple(1, "", "No additional fonts selected\n"));
  EXPECT_EQ(ReadFile(kit.ImagePath()), "old image");
  kit.AddFont(1, "a", {100, 1000});  // both worked examples: "a" with part 0 only, "b" with both parts
  kit.AddFont(2, "b", {80, 500, 60, 300});
  const std::string sections = kit.Section("a", 0) + kit.Section("b", 0) + kit.Section("b", 1);
  EXPECT_EQ(run({"build"}), std::make_tuple(0, kit.ImagePath() + "\n", ""));
  EXPECT_EQ(ReadFile(kit.ImagePath()), ImageHeader(false, {0x810, 0xC5C}, {kAbsent, 0xEA0}) + sections);
  const std::string listing = "format: FontSet.SHC\nfile size: 4104 (0x1008)\nheader size: 2064 (0x810)\n"
      "word at 0x800: 0x00000000\ntable count: 112\ntag: KRV1D3 22 11\n"
      "position  part  offset      size\n       1     0  0x00000810  1100\n"
      "       2     0  0x00000C5C  580\n       2     1  0x00000EA0  360\n"
      "total: 3 sections, 2040 bytes\n";
  EXPECT_EQ(run({"inspect", kit.ImagePath()}), std::make_tuple(0, listing, ""));
  const std::string output = kit.dir.File("legacy.shf"), nowhere = kit.dir.File("no/such.shf");
  EXPECT_EQ(run({"build", "--legacy", "--output", output}), std::make_tuple(0, output + "\n", ""));
  EXPECT_EQ(ReadFile(output), ImageHeader(true, {0x100, 0x54C, 0x790}, {0x790, 0x790, 0x8F8}) + sections);
  const std::string notOpened = "Error opening output file\n" + nowhere + " (No such file or directory)\n";
  EXPECT_EQ(run({"build", "--output", nowhere}), std::make_tuple(1, "", notOpened));
  WriteFile(kit.ImagePath(), ReadFile(kit.ImagePath()).substr(0, 0xE00));
  const auto truncated = run({"inspect", kit.ImagePath()});
  EXPECT_EQ(std::get<0>(truncated), 1);
  EXPECT_EQ(std::get<2>(truncated), "position 2 part 1 at 0xEA0 lies beyond the end of the file (0xE00)\n");
  EXPECT_EQ(std::pair(std::get<0>(run({"build", "extra"})), std::get<0>(run({"inspect"}))), std::pair(2, 2));
}

// A program folder shared by several users (mode 1777): another user's link to a file only root
// may read is not copied into root's image, the image goes to root's own data folder, and a stored
// path that climbs out of FontExt reads nothing from outside it.
TEST(FontSetCli, ASharedFontExtLendsNoOtherUsersLinkAndStoredPathsStayInFontExt) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  FontSetKit kit;
  kit.AddFont(1, "a", {100, 200});
  const std::string secret = kit.dir.Write("private/secret", "SECRET");
  ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
  const std::string planted = kit.Fragment("b0.hea"), root = kit.Fragment("c0.hea");
  ASSERT_EQ(::symlink(secret.c_str(), planted.c_str()) | ::lchown(planted.c_str(), 65534, 65534), 0);
  ASSERT_EQ(::symlink(secret.c_str(), root.c_str()), 0);  // root's own link is still followed
  kit.Store(2, kit.Fragment("b.she"));
  kit.Store(3, kit.Fragment("c.she"));
  kit.dir.Write("outside/x0.hea", "OUTSIDE");
  kit.Store(4, kit.Fragment("../outside/x.she"));
  ASSERT_EQ(::chmod(kit.dir.Path().c_str(), 01777) | ::chmod(kit.Fragment("").c_str(), 01777), 0);
  ASSERT_TRUE(kit.profile.Save());

  const ProgramRun run = RunProgram(kit.dir, {CORVELLE_BIN_DIR "/corvelle-cli", "--program-folder", kit.dir.Path(),
                                              "--profile", kit.profile.Path(), "build"});
  const std::string image = std::string(std::getenv("XDG_DATA_HOME")) + "/corvelle/FontSet.SHC";
  EXPECT_EQ(std::tie(run.exit, run.out, run.err), std::make_tuple(0, image + "\n", std::string()));
  EXPECT_EQ(ReadFile(image), ImageHeader(false, {0x810, kAbsent, 0x810 + 300}, {}) + kit.Section("a", 0) + "SECRET");
  EXPECT_FALSE(FileExists(kit.ImagePath()) && kit.ImagePath() != image);
  EXPECT_FALSE(FileExists(kit.dir.File("FontSet.SHC")) || FileExists(kit.dir.File("fontheadkerv.sh")));
}

}  // namespace
}  // namespace corvelle::test
