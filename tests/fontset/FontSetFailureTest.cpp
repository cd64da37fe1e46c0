// Builds that cannot complete end with false and a message naming the file, and never leave an
// incomplete image behind: unopenable files, a full disk, fragments that change mid-build.
#include <dirent.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdlib>

#include "FontSetKit.h"
#include "base/Paths.h"
#include "fontset/ImagePlan.h"
#include "fontset/ImageWriter.h"

namespace corvelle::test {
namespace {

TEST(FontSetFailure, AnImageThatCannotBeCreatedIsReported) {
  FontSetKit kit;
  kit.AddFont(1, "a", {10, 10, kNone, kNone});
  const std::string output = kit.dir.File("no/such/folder/FontSet.SHC");
  EXPECT_FALSE(kit.Build(output));
  EXPECT_EQ(kit.OnlyMessage(), "Error opening output file\n" + output + " (No such file or directory)");
  EXPECT_TRUE(kit.builtPath.empty());
}

TEST(FontSetFailure, AScratchFileThatCannotBeCreatedEndsTheBuildBeforeTheImage) {
  FontSetKit kit;
  kit.AddFont(1, "a", {10, 10, kNone, kNone});
  MakeFolders(kit.ScratchPath());
  EXPECT_FALSE(kit.BuildLegacy());
  EXPECT_EQ(kit.OnlyMessage(), "Error opening output file\n" + kit.ScratchPath() + " (Is a directory)");
  EXPECT_FALSE(FileExists(kit.LegacyImagePath()));
}

TEST(FontSetFailure, AScratchFileThatCannotBeReopenedLeavesNoImage) {
  FontSetKit kit;
  kit.AddFont(1, "a", {10, 10, kNone, kNone});
  ASSERT_TRUE(kit.Build());  // writes the scratch header
  const ImagePlan plan = PlanImage(kFontSetFormat, ReadStoredSelection(kit.profile, 112));
  const int result = RunInChild([&] {
    // Fill every free descriptor number up to the highest open one, then allow one more: the
    // image takes it, and reopening the scratch file finds none left. (Only the writer runs
    // here: sanitizer checks inside the full build would need descriptors of their own.)
    int top = 0;
    if (DIR* fds = opendir("/proc/self/fd")) {
      while (dirent* entry = readdir(fds)) top = std::max(top, std::atoi(entry->d_name));
      closedir(fds);
    }
    for (int fd = 0; fd <= top;) {
      fd = open("/dev/null", O_RDONLY);
      if (fd < 0) return 9;
    }
    const rlimit limit{static_cast<rlim_t>(top + 3), static_cast<rlim_t>(top + 3)};
    if (setrlimit(RLIMIT_NOFILE, &limit) != 0) return 10;
    const ImageWriteResult written = WriteImage(plan, kit.ScratchPath(), kit.ImagePath());
    if (written.ok) return 11;
    if (written.error != "Error opening output file\n" + kit.ScratchPath() + " (Too many open files)") return 12;
    return FileExists(kit.ImagePath()) ? 13 : 0;
  });
  EXPECT_EQ(result, 0);
}

// Builds in a child whose files may not grow beyond `maxBytes`, as on a full disk.
std::string BuildWithFileSizeLimit(FontSetKit& kit, rlim_t maxBytes) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return "no pipe";
  const int result = RunInChild([&] {
    signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{maxBytes, maxBytes};
    if (setrlimit(RLIMIT_FSIZE, &limit) != 0 || kit.Build()) return 1;
    const std::string message = kit.OnlyMessage();
    return write(pipeFds[1], message.data(), message.size()) == static_cast<ssize_t>(message.size()) ? 0 : 2;
  });
  close(pipeFds[1]);
  char buffer[512] = {};
  const ssize_t n = read(pipeFds[0], buffer, sizeof buffer - 1);
  close(pipeFds[0]);
  return result == 0 && n > 0 ? std::string(buffer, static_cast<size_t>(n)) : "child failed: " + std::to_string(result);
}

TEST(FontSetFailure, AFullDiskEndsTheBuildAndRemovesThePartialImage) {
  FontSetKit kit;
  kit.AddFont(1, "a", {100, 50000, kNone, kNone});
  kit.AddFont(2, "b", {100, 50000, kNone, kNone});
  EXPECT_EQ(BuildWithFileSizeLimit(kit, 65536), "Error writing output file\n" + kit.ImagePath() + " (File too large)");
  EXPECT_FALSE(FileExists(kit.ImagePath()));
  EXPECT_EQ(ReadFile(kit.ScratchPath()).size(), 0x810u);

  EXPECT_EQ(BuildWithFileSizeLimit(kit, 1000), "Error writing output file\n" + kit.ScratchPath() + " (File too large)");
  EXPECT_FALSE(FileExists(kit.ImagePath()));
}

TEST(FontSetFailure, AFragmentThatVanishesOrChangesAfterSizingEndsTheWrite) {
  FontSetKit kit;
  kit.AddFont(1, "a", {100, 3000, kNone, kNone});
  kit.AddFont(2, "b", {100, 3000, 50, 500});
  ASSERT_TRUE(kit.Build());  // leaves the scratch header of this selection
  const std::string image = kit.dir.File("out.shc");
  const auto fontPaths = ReadStoredSelection(kit.profile, 112);

  struct Case {
    std::string fragment;
    std::function<void(const std::string&)> change;
    std::string expected;
  };
  const Case cases[] = {
      {"a0.sh", [](const std::string& path) { unlink(path.c_str()); }, "Font file disappeared while the font set was built\n"},
      {"b0.hea", [](const std::string& path) { WriteFile(path, ReadFile(path) + "x"); }, "Font file changed while the font set was built\n"},
      {"b1.sh", [](const std::string& path) { WriteFile(path, "short"); }, "Font file changed while the font set was built\n"},
  };
  for (const Case& c : cases) {
    kit.AddFont(1, "a", {100, 3000, kNone, kNone});
    kit.AddFont(2, "b", {100, 3000, 50, 500});
    const ImagePlan plan = PlanImage(kFontSetFormat, fontPaths);
    const std::string path = kit.FragmentPath(c.fragment, "");
    c.change(path);
    const ImageWriteResult result = WriteImage(plan, kit.ScratchPath(), image);
    EXPECT_FALSE(result.ok) << c.fragment;
    EXPECT_EQ(result.error, c.expected + path);
    EXPECT_FALSE(FileExists(image)) << c.fragment;
  }
}

}  // namespace
}  // namespace corvelle::test
