// SPDX-License-Identifier: MIT
// Safe writing: a new file beside the target renamed over it, never a part, never through a
// planted link; the folders the program trusts; the profile's lock and its link. Where the
// program's data and writable files live (stored names with Windows separators are the
// catalogue's and the image builders' tests). The profile store: Windows-style reading, exact
// round trips, order kept, safe saving.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
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

TEST(AtomicFile, TheTargetChangesOnlyAtCommitAPlantedLinkIsReplacedAndALinkMadeOnPurposeIsFollowed) {
  test::TempDir dir;
  const std::string target = dir.Write("image", "old");
  {
    AtomicFile file(target, kFileMode);
    ASSERT_TRUE(file.IsOpen() && file.Write("new, but never committed"));
    EXPECT_EQ(ReadFile(target), "old");
  }
  EXPECT_EQ(ReadFile(target) + std::to_string(EntriesIn(dir.Path())), "old1");

  const mode_t mask = ::umask(022);
  AtomicFile file(target, kFileMode);
  ASSERT_TRUE(file.Write("new") && file.Commit());
  // The committed bytes stay readable through the writer's descriptor whatever replaces them.
  FileHandle reader = FileHandle::Adopt(file.TakeReader());
  ASSERT_TRUE(ReplaceFileWhole(target, "newer").Ok());
  char bytes[8] = {};
  EXPECT_EQ(std::to_string(reader.Read(bytes, sizeof bytes)) + bytes + std::to_string(reader.LengthAtOpen()), "3new3");
  EXPECT_EQ(ReadFile(target), "newer");
  ASSERT_TRUE(ReplaceFileWhole(dir.File("private"), "x", kPrivateFileMode).Ok());
  EXPECT_EQ(std::pair(fs::status(target).permissions(), fs::status(dir.File("private")).permissions()),
            std::pair(fs::perms(0644), fs::perms(0600)));
  ::umask(mask);
  EXPECT_EQ(EntriesIn(dir.Path()), 2u);
  const std::string victim = dir.Write("victim", "keep me");
  const std::string planted = dir.File("FontSet.SHC");
  ASSERT_EQ(::symlink(victim.c_str(), planted.c_str()), 0);
  ASSERT_TRUE(ReplaceFileWhole(planted, "image").Ok());
  EXPECT_TRUE(ReadFile(victim) == "keep me" && fs::is_regular_file(fs::symlink_status(planted)) &&
              ReadFile(planted) == "image");

  // A relative link to a link: both are kept, the file at the end is replaced.
  const std::string chosen = dir.File("chosen.kvf"), middle = dir.File("middle");
  ASSERT_EQ(::symlink("victim", middle.c_str()), 0);
  ASSERT_EQ(::symlink("middle", chosen.c_str()), 0);
  ASSERT_TRUE(ReplaceFileWhole(chosen, "followed", kFileMode, LinkPolicy::FollowLink).Ok());
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(chosen)) && fs::is_symlink(fs::symlink_status(middle)));
  EXPECT_EQ(ReadFile(victim), "followed");
  // A profile that is a link stays one, and the file it names is written private.
  Profile profile(chosen);
  profile.WriteInt("Codepage", "Codepage", 3);
  const Outcome saved = profile.Save();
  ASSERT_TRUE(saved) << saved.message;
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(chosen)) && Profile(victim).GetInt("Codepage", "Codepage", 0) == 3);
  EXPECT_EQ(fs::status(victim).permissions(), fs::perms(0600));
}

TEST(OwnFolders, HomeComesFromThePasswordDatabaseUntrustedFoldersAreRefusedAndTheProgramFolderHoldsFontExt) {
  const std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "";
  ::unsetenv("HOME");
  const passwd* entry = ::getpwuid(::geteuid());
  ASSERT_NE(entry, nullptr);
  EXPECT_EQ(HomeFolder(), entry->pw_dir);
  ::setenv("HOME", saved.c_str(), 1);

  test::TempDir dir;
  const std::string own = dir.File("config/corvelle");
  EXPECT_EQ(PrepareOwnFolder(own) + OwnFolderProblem(dir.File("not yet")), "");
  EXPECT_EQ(std::pair(fs::status(own).permissions(), fs::status(dir.File("config")).permissions()),
            std::pair(fs::perms(0700), fs::perms(0700)));
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

  // The program folder is the one that holds FontExt; writable files may go to the data folder.
  const std::string bin = dir.File("usr/bin"), share = dir.File("usr/share/corvelle");
  ASSERT_TRUE(MakeFolders(bin) && MakeFolders(share));
  EXPECT_EQ(ProgramFolderFor(bin), bin);  // neither holds one: messages then name the executable's folder
  ASSERT_TRUE(MakeFolders(JoinPath(share, "FontExt")));
  EXPECT_EQ(ProgramFolderFor(bin), share);  // installed under <prefix>/share/corvelle
  ASSERT_TRUE(MakeFolders(JoinPath(bin, "FontExt")));
  EXPECT_EQ(ProgramFolderFor(bin), bin);  // a build tree or a copied folder

  // Writable files go to the user's data folder when the program folder is unwritable or installed.
  const std::string program = dir.File("program"), data = dir.File("data");
  ASSERT_TRUE(MakeFolders(program) && MakeFolders(data));
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

TEST(Profile, ReadsLikeTheWindowsProfileRewritesInPlaceAndSavesValuesThatReadBackOrLeavesTheOldFile) {
  const std::pair<const char*, int> numbers[] = {{"  12abc", 12}, {"abc", 0}, {"-7", -7}, {"-", 0},
                                                 {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(Profile::ParseInt(text), value) << text;

  Profile p;
  p.Parse("[Impostazione porta]\r\nPort = COM1:\r\nEmpty=\r\n");
  EXPECT_EQ(p.GetString("impostazione PORTA", "port", "x") + p.GetString("Impostazioneporta", "Port", "x"), "COM1:x");
  EXPECT_EQ(std::pair(p.GetInt("Impostazione porta", "EMPTY", 5), p.GetInt("Impostazione porta", "Absent", 5)), std::pair(0, 5));
  // A rewrite keeps the order, foreign lines and the key's spelling; the first of duplicates counts.
  p = Profile();
  p.Parse("; a comment\n[Impostazione porta]\nport=LPT1:\nnot a pair\nPORT=2nd\n\n[Devices]\nCOM3=/dev/ttyUSB0\n");
  EXPECT_EQ(p.GetString("Impostazione porta", "Port", ""), "LPT1:");
  p.WriteString("Impostazione porta", "Port", "FILE");
  p.WriteInt("Impostazione porta", "Codepage", 4);
  p.WriteString("New", "Key", "v");
  EXPECT_EQ(p.Serialize(),
            "; a comment\n[Impostazione porta]\nport=FILE\nnot a pair\nPORT=2nd\nCodepage=4\n\n"
            "[Devices]\nCOM3=/dev/ttyUSB0\n[New]\nKey=v\n");

  // Saved into a new folder, values with blanks and quotes read back; a failed save leaves the old file.
  test::TempDir dir;
  const std::string path = dir.File("sub/dir/corvelle.ini");
  const std::vector<std::string> values{"Arial Bold      ", "  lead", "\"quoted\"", "\"half", "", "a=b", "tab\t"};
  p = Profile(path);
  for (size_t i = 0; i < values.size(); ++i) p.WriteString("FontsAggiuntivi", "K" + std::to_string(i), values[i]);
  const Outcome saved = p.Save();
  ASSERT_TRUE(saved) << saved.message;
  const Profile back(path);
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(back.GetString("FontsAggiuntivi", "K" + std::to_string(i), "?"), values[i]);

  const std::string old = dir.Write("ro/corvelle.ini", "[S]\nK=old\n");
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755) | chmod(dir.File("ro").c_str(), 0555), 0);
  EXPECT_EQ(test::RunUnprivileged([&] {
              Profile p(old);
              p.WriteString("S", "K", "new");
              const bool reported = p.Save().message.find(old) != std::string::npos;
              return reported && p.GetString("S", "K", "") == "new" ? 0 : 1;
            }), 0);
  EXPECT_EQ(test::ReadFile(old), "[S]\nK=old\n");
  dir.Write("file", "x");
  Profile noFolder(dir.File("file/corvelle.ini"));
  noFolder.WriteInt("S", "K", 1);
  const Outcome failed = noFolder.Save();
  EXPECT_TRUE(!failed && failed.message.find("folder") != std::string::npos) << failed.message;
}

}  // namespace
}  // namespace corvelle
