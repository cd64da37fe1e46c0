// SPDX-License-Identifier: MIT
// The sample FontExt folder the build places beside the executables, and corvelle-cli build and
// inspect run as the built program.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <set>

#include "FontSetKit.h"
#include "base/Paths.h"
#include "support/Unprivileged.h"

namespace corvelle::test {
namespace {

TEST(SampleData, IndexFilesListFontsThatAreThereAndAllCodePagesExceedTheImageLimit) {
  const std::string fontExt = FontExtFolder(CORVELLE_BIN_DIR);
  std::string pages;
  for (const char* page : {"1250", "1251", "1252", "1253"}) pages += ReadFile(fontExt + "Index" + page + ".shi");
  const std::string all = ReadFile(fontExt + "Index.shi"), standard = ReadFile(fontExt + "IndexStandardSet.shi");
  EXPECT_EQ(all, pages);
  EXPECT_EQ(all.size() % 102 + standard.size() % 102, 0u);
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
  kit.AddFont(1, "a", {100, 1000});  // the worked example
  kit.AddFont(2, "b", {80, 500, 60, 300});
  EXPECT_EQ(run({"build"}), std::make_tuple(0, kit.ImagePath() + "\n", ""));
  const std::string listing =
      "format: FontSet.SHC\nfile size: 4104 (0x1008)\nheader size: 2064 (0x810)\n"
      "word at 0x800: 0x00000000\ntable count: 112\ntag: KRV1D3 22 11\n"
      "position  part  offset      size\n       1     0  0x00000810  1100\n"
      "       2     0  0x00000C5C  580\n       2     1  0x00000EA0  360\n"
      "total: 3 sections, 2040 bytes\n";
  EXPECT_EQ(run({"inspect", kit.ImagePath()}), std::make_tuple(0, listing, ""));
  const std::string output = kit.dir.File("legacy.shf"), nowhere = kit.dir.File("no/such.shf");
  EXPECT_EQ(run({"build", "--legacy", "--output", output}), std::make_tuple(0, output + "\n", ""));
  EXPECT_EQ(ReadFile(output).size(), 0x8F8u);
  const std::string notOpened = "Error opening output file\n" + nowhere + " (No such file or directory)\n";
  EXPECT_EQ(run({"build", "--output", nowhere}), std::make_tuple(1, "", notOpened));
  WriteFile(kit.ImagePath(), ReadFile(kit.ImagePath()).substr(0, 0xE00));
  const auto truncated = run({"inspect", kit.ImagePath()});
  EXPECT_EQ(std::get<0>(truncated), 1);
  EXPECT_EQ(std::get<2>(truncated), "position 2 part 1 at 0xEA0 lies beyond the end of the file (0xE00)\n");
  EXPECT_EQ(std::get<0>(run({"build", "extra"})), 2);
  EXPECT_EQ(std::get<0>(run({"inspect"})), 2);
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

// The size comes from the file, not from how much is read of it: an image of exactly the limit
// is consistent, and one byte more is refused with its true size.
TEST(FontSetCli, InspectTakesAnImageOfExactlyTheLimitAndRefusesOneByteMore) {
  FontSetKit kit;
  kit.AddFont(1, "a", {0x150000 - 0x810});
  kit.AddFont(2, "b", {0x250000});
  ASSERT_TRUE(kit.Build());
  const auto inspect = [&] { return RunProgram(kit.dir, {CORVELLE_BIN_DIR "/corvelle-cli", "inspect", kit.ImagePath()}); };
  const ProgramRun exact = inspect();
  EXPECT_EQ(exact.exit, 0) << exact.err;
  EXPECT_NE(exact.out.find("file size: 3801088 (0x3A0000)\n"), std::string::npos) << exact.out;
  ASSERT_TRUE(WriteFile(kit.ImagePath(), ReadFile(kit.ImagePath()) + '\xFF'));
  const ProgramRun over = inspect();
  EXPECT_EQ(over.exit, 1);
  EXPECT_NE(over.err.find("the image is 0x3A0001 bytes, more than the limit 0x3A0000"), std::string::npos) << over.err;
}

}  // namespace
}  // namespace corvelle::test
