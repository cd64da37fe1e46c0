// Path helpers: Windows separators in stored names, the program folder, the writable data folder.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include "base/Paths.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

TEST(Paths, FileNamePartTakesWhatFollowsEitherSeparator) {
  EXPECT_EQ(FileNamePart("C:\\Program Files\\Kerv\\FontExt\\arial.she"), "arial.she");
  EXPECT_EQ(FileNamePart("/opt/corvelle/FontExt/arial.she"), "arial.she");
  EXPECT_EQ(FileNamePart("mixed/dir\\name.she"), "name.she");
  EXPECT_EQ(FileNamePart("***"), "***");
  EXPECT_EQ(FileNamePart("dir/"), "");
}

TEST(Paths, FoldersJoinWithoutDoubledSeparators) {
  EXPECT_EQ(FontExtFolder("/opt/corvelle"), "/opt/corvelle/FontExt/");
  EXPECT_EQ(JoinPath("/opt/", "x"), "/opt/x");
  EXPECT_EQ(ParentFolder("/a/b/c"), "/a/b");
  EXPECT_EQ(ParentFolder("/c"), "/");
  EXPECT_EQ(ParentFolder("c"), "");
}

TEST(Paths, ExecutableFolderIsWhereThisTestRuns) {
  const std::string folder = ExecutableFolder();
  EXPECT_EQ(access(JoinPath(folder, "base_tests").c_str(), X_OK), 0) << folder;
}

TEST(Paths, UnwritableProgramFolderFallsBackToUserDataFolder) {
  test::TempDir dir;
  const std::string program = dir.File("program");
  ASSERT_TRUE(MakeFolders(program));
  ASSERT_TRUE(MakeFolders(dir.File("data")));
  chmod(dir.Path().c_str(), 0755);
  chmod(program.c_str(), 0555);
  chmod(dir.File("data").c_str(), 0777);
  const int result = test::RunUnprivileged([&] {
    setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
    if (WritableDataFolder(program) != dir.File("data/corvelle")) return 2;
    struct stat st {};
    return stat(dir.File("data/corvelle").c_str(), &st) == 0 && S_ISDIR(st.st_mode) ? 0 : 3;
  });
  EXPECT_EQ(result, 0);
  chmod(program.c_str(), 0755);
  EXPECT_EQ(WritableDataFolder(program), program);
}

TEST(Paths, ProgramFolderIsTheOneThatHoldsFontExt) {
  test::TempDir dir;
  const std::string bin = dir.File("usr/bin");
  const std::string share = dir.File("usr/share/corvelle");
  ASSERT_TRUE(MakeFolders(bin) && MakeFolders(share));
  // Neither holds FontExt/: the executable's folder, so messages name a sensible place.
  EXPECT_EQ(ProgramFolderFor(bin), bin);
  // A file named FontExt is no data folder.
  dir.Write("usr/share/corvelle/FontExt", "");
  EXPECT_EQ(ProgramFolderFor(bin), bin);
  ASSERT_EQ(unlink(dir.File("usr/share/corvelle/FontExt").c_str()), 0);
  // An installation: the data lies in <prefix>/share/corvelle.
  ASSERT_TRUE(MakeFolders(JoinPath(share, "FontExt")));
  EXPECT_EQ(ProgramFolderFor(bin), share);
  // A build tree or a copied folder: FontExt/ beside the executable wins.
  ASSERT_TRUE(MakeFolders(JoinPath(bin, "FontExt")));
  EXPECT_EQ(ProgramFolderFor(bin), bin);
  EXPECT_EQ(ProgramFolder(), ProgramFolderFor(ExecutableFolder()));
}

TEST(Paths, AnInstalledDataFolderIsNeverWrittenEvenWhenWritable) {
  test::TempDir dir;
  const std::string share = dir.File("usr/share/corvelle");
  ASSERT_TRUE(MakeFolders(share));
  ASSERT_EQ(access(share.c_str(), W_OK), 0);
  const char* saved = std::getenv("XDG_DATA_HOME");
  const std::string previous = saved ? saved : "";
  setenv("XDG_DATA_HOME", dir.File("data").c_str(), 1);
  EXPECT_EQ(WritableDataFolder(share), dir.File("data/corvelle"));
  EXPECT_EQ(WritableDataFolder(share + "/"), dir.File("data/corvelle"));
  // Only a folder named share/corvelle counts as installed.
  ASSERT_TRUE(MakeFolders(dir.File("usr/share/xcorvelle")));
  EXPECT_EQ(WritableDataFolder(dir.File("usr/share/xcorvelle")), dir.File("usr/share/xcorvelle"));
  if (saved) {
    setenv("XDG_DATA_HOME", previous.c_str(), 1);
  } else {
    unsetenv("XDG_DATA_HOME");
  }
}

}  // namespace
}  // namespace corvelle
