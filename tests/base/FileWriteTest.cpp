// SPDX-License-Identifier: MIT
// Safe writing: a new file beside the target renamed over it, never a part, never through a
// planted link; the folders the program trusts; the profile's lock and its link. Path helpers:
// Windows separators in stored names, where the program's data and writable files live.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "base/FileHandle.h"
#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/Profile.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

namespace fs = std::filesystem;
using test::EntriesIn;
using test::ReadFile;

TEST(AtomicFile, TheTargetChangesOnlyAtCommitAndAnAbandonedFileLeavesNothing) {
  test::TempDir dir;
  const std::string target = dir.Write("image", "old");
  {
    AtomicFile file(target, kFileMode);
    ASSERT_TRUE(file.IsOpen());
    ASSERT_TRUE(file.Write("new, but never committed"));
    EXPECT_EQ(ReadFile(target), "old");
  }
  EXPECT_EQ(ReadFile(target), "old");
  EXPECT_EQ(EntriesIn(dir.Path()), 1u);

  const mode_t mask = ::umask(022);
  AtomicFile file(target, kFileMode);
  ASSERT_TRUE(file.Write("new") && file.Commit());
  // The committed bytes stay readable through the writer's descriptor whatever replaces them.
  FileHandle reader = FileHandle::Adopt(file.TakeReader());
  ASSERT_TRUE(ReplaceFileWhole(target, "newer").Ok());
  char bytes[8] = {};
  EXPECT_EQ(reader.Read(bytes, sizeof bytes), 3);
  EXPECT_EQ(std::string(bytes) + std::to_string(reader.LengthAtOpen()), "new3");
  EXPECT_EQ(ReadFile(target), "newer");
  EXPECT_EQ(fs::status(target).permissions(), fs::perms(0644));
  ASSERT_TRUE(ReplaceFileWhole(dir.File("private"), "x", kPrivateFileMode).Ok());
  EXPECT_EQ(fs::status(dir.File("private")).permissions(), fs::perms(0600));
  ::umask(mask);
  EXPECT_EQ(EntriesIn(dir.Path()), 2u);
}

TEST(AtomicFile, APlantedLinkIsReplacedAndALinkMadeOnPurposeIsFollowed) {
  test::TempDir dir;
  const std::string victim = dir.Write("victim", "keep me");
  const std::string planted = dir.File("FontSet.SHC");
  ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
  ASSERT_TRUE(ReplaceFileWhole(planted, "image").Ok());
  EXPECT_EQ(ReadFile(victim), "keep me");
  EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(planted)));
  EXPECT_EQ(ReadFile(planted), "image");

  // A relative link to a link: both are kept, the file at the end is replaced.
  const std::string chosen = dir.File("chosen.kvf"), middle = dir.File("middle");
  ASSERT_EQ(::symlink("victim", middle.c_str()), 0);
  ASSERT_EQ(::symlink("middle", chosen.c_str()), 0);
  ASSERT_TRUE(ReplaceFileWhole(chosen, "followed", kFileMode, LinkPolicy::FollowLink).Ok());
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(chosen)) && fs::is_symlink(fs::symlink_status(middle)));
  EXPECT_EQ(ReadFile(victim), "followed");
}

TEST(OwnFolders, HomeComesFromThePasswordDatabaseAndUntrustedFoldersAreRefused) {
  const std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::unsetenv("HOME");
  const passwd* entry = ::getpwuid(::geteuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(HomeFolder(), entry->pw_dir);
  ::setenv("HOME", saved.c_str(), 1);

  test::TempDir dir;
  const std::string own = dir.File("config/corvelle");
  EXPECT_EQ(PrepareOwnFolder(own), "");
  EXPECT_EQ(fs::status(own).permissions(), fs::perms(0700));
  EXPECT_EQ(fs::status(dir.File("config")).permissions(), fs::perms(0700));
  EXPECT_EQ(OwnFolderProblem(dir.File("not yet")), "");
  ASSERT_EQ(::chmod(own.c_str(), 0770), 0);
  EXPECT_EQ(PrepareOwnFolder(own), "refusing folder " + own + ": group or others may write to it");
  ASSERT_EQ(::chmod(own.c_str(), 0700), 0);
  // Another user's folder, seen by an unprivileged child when the suite runs as root.
  const std::string foreign = dir.File("foreign");
  ASSERT_TRUE(MakeFolders(foreign, 0755));
  if (::geteuid() == 0) {
    ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0);
    const std::string expected = "refusing folder " + foreign + ": it belongs to another user";
    EXPECT_EQ(test::RunUnprivileged([&] { return OwnFolderProblem(foreign) == expected ? 0 : 1; }), 0);
  }
}

TEST(ProfileSave, AProfileThatIsALinkStaysOneAndTheFileIsPrivate) {
  test::TempDir dir;
  const std::string real = dir.Write("dotfiles/corvelle.ini", "[Codepage]\nCodepage=1\n");
  const std::string link = dir.File("config/corvelle.ini");
  ASSERT_TRUE(MakeFolders(dir.File("config")));
  ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
  Profile profile(link);
  profile.WriteInt("Codepage", "Codepage", 3);
  const Outcome saved = profile.Save();
  ASSERT_TRUE(saved) << saved.message;
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)));
  EXPECT_EQ(Profile(real).GetInt("Codepage", "Codepage", 0), 3);
  EXPECT_EQ(fs::status(real).permissions(), fs::perms(0600));
}

TEST(Paths, FileNamePartTakesWhatFollowsEitherSeparator) {
  for (const char* path : {"C:\\Program Files\\Kerv\\FontExt\\arial.she", "/opt/corvelle/FontExt/arial.she", "mixed/dir\\arial.she"})
    EXPECT_EQ(FileNamePart(path), "arial.she") << path;
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
