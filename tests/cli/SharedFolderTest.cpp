// SPDX-License-Identifier: MIT
// corvelle-cli run beside other users: links another user planted in a folder anyone may write
// to, temporary names planted ahead of a build, and temporary files that killed runs left
// behind.
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "CliKit.h"
#include "base/Paths.h"
#include "base/PathsPlatform.h"

namespace corvelle::test {
namespace {

namespace fs = std::filesystem;

constexpr uid_t kOtherUser = 65534;

bool IsLink(const std::string& path) { return fs::is_symlink(fs::symlink_status(path)); }

// The id of a process that has ended.

// In a folder anyone may write to (without the sticky bit, so the kernel's protected_symlinks
// does not step in), another user's link to a file of root's is followed neither by `selection
// save` nor by the FILE port's --output.
TEST(SharedFolder, AnotherUsersLinkWhereAnyoneMayWriteIsFollowedNeitherBySaveNorByTheFilePort) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's link needs root";
  CliKit kit;
  kit.SelectFont(1000);
  const std::string victim = kit.dir.Write("victim", "root's file");
  ASSERT_EQ(::chmod(victim.c_str(), 0600), 0);
  const std::string shared = kit.dir.File("shared"), kvf = shared + "/sel.kvf", out = shared + "/out.bin";
  ASSERT_TRUE(MakeFolders(shared) && ::chmod(shared.c_str(), 0777) == 0);
  for (const std::string& link : {kvf, out})
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()) | ::lchown(link.c_str(), kOtherUser, kOtherUser), 0);

  const Finished save = kit.Run({"selection", "save", kvf});
  EXPECT_EQ(std::tie(save.exit, save.err),
            std::make_tuple(1, "corvelle-cli: cannot create " + kvf + ": Permission denied\n"));
  const Finished download = kit.Run({"download", "--port", "FILE", "--output", out});
  EXPECT_TRUE(download.exit == 1 && download.err.find(out + ": Permission denied") != std::string::npos) << download.err;
  EXPECT_TRUE(ReadFile(victim) == "root's file" && IsLink(kvf) && IsLink(out));
}

// Files planted for the build's own process id under every name earlier versions would have
// tried (<target>.<pid>.0 to .99), and a link under a name of today's pattern, neither fail the
// build nor lead it anywhere: the image is made, the planted files stay as they were.
TEST(SharedFolder, TemporaryNamesPlantedForTheBuildsProcessDoNotFailIt) {
  CliKit kit;
  kit.SelectFont(1000);
  const std::string victim = kit.dir.Write("victim", "untouched");
  // The shell plants the names for its own id, which the program keeps through exec.
  kit.environment.insert(kit.environment.end(), {"P=" + kit.program, "V=" + victim});
  const Finished run = kit.Run({"build"}, {}, SIGINT, {"/bin/sh", "-c",
      "for n in $(seq 0 99); do for t in FontSet.SHC fontheadkerv.sh; do : > \"$P/$t.$$.$n\"; done; done; "
      "ln -s \"$V\" \"$P/FontSet.SHC.tmp-$$-0123456789abcdef\"; exec \"$@\"", "sh"});
  const std::string image = JoinPath(kit.program, "FontSet.SHC");
  EXPECT_EQ(std::tie(run.exit, run.out, run.err), std::make_tuple(0, image + "\n", std::string()));
  EXPECT_EQ(std::pair(ReadFile(image).size(), ReadFile(victim)), std::pair(std::size_t{0x810u + 100 + 1000}, std::string("untouched")));
  size_t planted = 0, links = 0;
  for (const fs::directory_entry& entry : fs::directory_iterator(kit.program)) {
    if (entry.is_symlink()) ++links;
    else if (entry.is_regular_file() && fs::file_size(entry.path()) == 0) ++planted;
  }
  EXPECT_EQ(std::make_pair(planted, links), std::make_pair(size_t{200}, size_t{1}));
}

// At start the program removes its own temporary files of a process that has ended, from the
// program folder, the per-user data folder and the profile's folder; a running process's, another
// user's, a link, a name of another pattern and anything in FontExt stay.
TEST(SharedFolder, AtStartOnlyThisUsersTemporaryFilesOfAnEndedProcessAreRemoved) {
  CliKit kit;
  kit.SelectFont(1000);
  const pid_t ended = ::fork();
  if (ended == 0) ::_exit(0);
  ::waitpid(ended, nullptr, 0);
  const std::string dead = std::to_string(ended), live = std::to_string(::getpid());
  const std::string hex = "-0123456789abcdef", data = PerUserDataFolder(), config = ParentFolder(kit.profile);
  ASSERT_TRUE(MakeFolders(data));
  const std::string p = kit.program, shc = kit.program + "/FontSet.SHC.";
  const std::vector<std::string> removed = {shc + "tmp-" + dead + hex, p + "/fontheadkerv.sh." + dead + ".7",
                                            data + "/FontSet.SHF.tmp-" + dead + hex,
                                            config + "/corvelle.ini.tmp-" + dead + hex, config + "/corvelle.ini." + dead + ".0"};
  // A running process's, other patterns, and a folder the program does not write.
  std::vector<std::string> kept = {shc + "tmp-" + live + hex, shc + "tmp-" + dead + "-0123456789ABCDEF",
                                   shc + "tmp-" + dead + "-0123", shc + dead + ".x", p + "/notes.txt." + dead + ".1",
                                   FontExtFolder(p) + "FontSet.SHC.tmp-" + dead + hex};
  for (const std::string& path : removed) WriteFile(path, "stale");
  for (const std::string& path : kept) WriteFile(path, "kept");
  const std::string link = kit.program + "/fontheadkerv.sh.tmp-" + dead + hex;
  ASSERT_EQ(::symlink(kept[0].c_str(), link.c_str()), 0);
  if (::geteuid() == 0) {
    kept.push_back(kit.program + "/FontSet.SHF.tmp-" + dead + hex);
    WriteFile(kept.back(), "another user's");
    ASSERT_EQ(::chown(kept.back().c_str(), kOtherUser, kOtherUser), 0);
  }

  EXPECT_EQ(kit.Run({"selection", "show"}).exit, 0);
  for (const std::string& path : removed) EXPECT_FALSE(FileExists(path)) << path;
  for (const std::string& path : kept) EXPECT_TRUE(FileExists(path)) << path;
  EXPECT_TRUE(IsLink(link));
}

}  // namespace
}  // namespace corvelle::test
