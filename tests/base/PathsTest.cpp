// SPDX-License-Identifier: MIT
// Path helpers: Windows separators in stored names, where the program's data and writable
// files live.
#include <gtest/gtest.h>
#include <sys/stat.h>

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
}

TEST(Paths, ProgramFolderIsTheOneThatHoldsFontExt) {
  test::TempDir dir;
  const std::string bin = dir.File("usr/bin"), share = dir.File("usr/share/corvelle");
  ASSERT_TRUE(MakeFolders(bin) && MakeFolders(share));
  EXPECT_EQ(ProgramFolderFor(bin), bin);  // neither holds one: messages then name the executable's folder
  ASSERT_TRUE(MakeFolders(JoinPath(share, "FontExt")));
  EXPECT_EQ(ProgramFolderFor(bin), share);  // installed under <prefix>/share/corvelle
  ASSERT_TRUE(MakeFolders(JoinPath(bin, "FontExt")));
  EXPECT_EQ(ProgramFolderFor(bin), bin);  // a build tree or a copied folder
}

TEST(Paths, WritableFilesGoToTheUserDataFolderWhenTheProgramFolderIsUnwritableOrInstalled) {
  test::TempDir dir;
  const std::string program = dir.File("program"), data = dir.File("data"), share = dir.File("usr/share/corvelle");
  ASSERT_TRUE(MakeFolders(program) && MakeFolders(data) && MakeFolders(share));
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755) | chmod(program.c_str(), 0555) | chmod(data.c_str(), 0777), 0);
  const auto inDataFolder = [&](const std::string& folder) {  // run in children, which may change their environment
    setenv("XDG_DATA_HOME", data.c_str(), 1);
    return WritableDataFolder(folder) == data + "/corvelle" && test::FileExists(data + "/corvelle") ? 0 : 1;
  };
  EXPECT_EQ(test::RunUnprivileged([&] { return inDataFolder(program); }), 0);
  EXPECT_EQ(test::RunInChild([&] { return inDataFolder(share) | inDataFolder(share + "/"); }), 0);
  ASSERT_EQ(chmod(program.c_str(), 0755), 0);
  EXPECT_EQ(WritableDataFolder(program), program);
}

}  // namespace
}  // namespace corvelle
