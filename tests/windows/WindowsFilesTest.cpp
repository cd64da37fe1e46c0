// SPDX-License-Identifier: MIT
// The Windows files and folders: the replacing writer, UTF-8 paths through the wide APIs, the
// per-user folders, the profile lock, and a profile and settings file round trip with Windows
// paths.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <thread>

#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/Profile.h"
#include "base/ProfileLock.h"
#include "catalogue/SettingsFile.h"
#include "base/FileHandle.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

using test::FileExists;
using test::ReadFile;
using test::TempDir;

std::string Folder(const char* variable) {
  const char* value = std::getenv(variable);
  return value ? value : "";
}

TEST(WindowsFileWrite, ReplacesAnExistingFileAndReadsBackWhatWasCommitted) {
  const TempDir dir;
  const std::string target = dir.Write("image.shc", "old contents");
  AtomicFile file(target, kFileMode);
  ASSERT_TRUE(file.IsOpen());
  ASSERT_TRUE(file.Write(std::string("new\r\n\x1a\0end", 10)));
  ASSERT_TRUE(file.Commit());
  // The reader stays open across the rename, and the bytes are binary (no CR LF or ^Z handling).
  FileHandle reader = FileHandle::Adopt(file.TakeReader());
  ASSERT_TRUE(reader.IsOpen());
  char buffer[32];
  EXPECT_EQ(reader.Read(buffer, sizeof buffer), 10);
  EXPECT_EQ(std::string(buffer, 10), std::string("new\r\n\x1a\0end", 10));
  EXPECT_EQ(ReadFile(target), std::string("new\r\n\x1a\0end", 10));
  ASSERT_TRUE(reader.Close());
  ASSERT_TRUE(ReplaceFileWhole(target, "third").Ok());
  EXPECT_EQ(ReadFile(target), "third");
}

TEST(WindowsFileWrite, AnUncommittedOrFailedFileLeavesTheTargetAndNoTemporaryFile) {
  const TempDir dir;
  const std::string target = dir.Write("profile.ini", "kept");
  {
    AtomicFile file(target, kFileMode);
    ASSERT_TRUE(file.Write("half"));
  }
  EXPECT_EQ(ReadFile(target), "kept");
  const ReplaceResult missing = ReplaceFileWhole(dir.File("no such folder\\x.ini"), "data");
  EXPECT_EQ(missing.stage, ReplaceResult::Stage::Create);
  EXPECT_EQ(missing.error, ENOENT);
  // Only the target is left in the folder.
  int entries = 0;
  for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir.Path())) ++entries;
  EXPECT_EQ(entries, 1);
}

TEST(WindowsPaths, Utf8NamesReachTheWideFileApis) {
  const TempDir dir;
  const std::string folder = JoinPath(dir.Path(), "Schrift\xC3\xA4rten \xE2\x82\xAC");
  ASSERT_TRUE(MakeFolders(JoinPath(folder, "inner")));
  const std::string path = JoinPath(folder, "Auswahl \xC3\xBC.kvf");
  ASSERT_TRUE(ReplaceFileWhole(path, "bytes").Ok());
  FileHandle file = FileHandle::OpenRegularForReading(path);
  ASSERT_TRUE(file.IsOpen()) << file.ErrorText();
  EXPECT_EQ(file.LengthAtOpen(), 5u);
  // The same name read through the narrow ANSI code page would not be found.
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path)));
  EXPECT_FALSE(FileHandle::OpenRegularForReading(folder).IsOpen());
}

TEST(WindowsPaths, SeparatorsAreBothSlashesAndNewPathsUseBackslashes) {
  EXPECT_EQ(ParentFolder("C:\\Program Files\\Corvelle\\corvelle-cli.exe"), "C:\\Program Files\\Corvelle");
  EXPECT_EQ(ParentFolder("C:/data/x.kvf"), "C:/data");
  EXPECT_EQ(JoinPath("C:\\Prog", "FontExt"), "C:\\Prog\\FontExt");
  EXPECT_EQ(JoinPath("C:\\Prog\\", "FontExt"), "C:\\Prog\\FontExt");
  EXPECT_EQ(FontExtFolder("C:\\Prog"), "C:\\Prog\\FontExt\\");
  EXPECT_EQ(ParentFolder(ExecutableFolder() + "\\x"), ExecutableFolder());
}

TEST(WindowsPaths, TheProfileLivesInAppDataAndImagesInLocalAppData) {
  EXPECT_EQ(DefaultProfilePath(), Folder("APPDATA") + "\\Corvelle\\corvelle.ini");
  const TempDir dir;
  EXPECT_EQ(WritableDataFolder(dir.Path()), dir.Path());
  // A folder the user cannot create files in (here: one that is not there) sends the images to
  // the per-user data folder, which is made.
  const std::string local = Folder("LOCALAPPDATA") + "\\Corvelle";
  EXPECT_EQ(WritableDataFolder(dir.File("missing")), local);
  EXPECT_TRUE(std::filesystem::is_directory(local));
  EXPECT_EQ(DataFolderProblem(dir.File("missing")), "");
  // An installation's share\corvelle is never written, even when it could be.
  ASSERT_TRUE(MakeFolders(dir.File("share\\corvelle")));
  EXPECT_EQ(WritableDataFolder(dir.File("share\\corvelle")), local);
  const std::string file = dir.Write("plain", "x");
  EXPECT_NE(PrepareOwnFolder(file), "");
}

TEST(WindowsProfileLock, ASecondRunWaitsForTheLockAndAStopEndsTheWait) {
  const TempDir dir;
  const std::string profile = dir.File("Corvelle\\corvelle.ini");
  auto first = std::make_unique<ProfileLock>(profile);
  ASSERT_TRUE(first->Held());
  int asked = 0;
  const ProfileLock stopped(profile, [&] { return ++asked >= 3; });
  EXPECT_FALSE(stopped.Held());
  EXPECT_EQ(asked, 3);
  std::thread release([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    first.reset();
  });
  const ProfileLock second(profile);
  release.join();
  EXPECT_TRUE(second.Held());
}

TEST(WindowsStores, AProfileAndASettingsFileRoundTripWithWindowsPaths) {
  const TempDir dir;
  const std::string profilePath = dir.File("Corvelle\\corvelle.ini");
  {
    Profile profile(profilePath);
    profile.WriteString("Impostazione porta", "Port", "COM3:");
    profile.WriteString("Paths", "Last", "C:\\Users\\kerv\\Fonts\\set.kvf");
    const Outcome saved = profile.Save();
    ASSERT_TRUE(saved) << saved.message;
  }
  const Profile reread(profilePath);
  EXPECT_EQ(reread.GetString("Impostazione porta", "Port", ""), "COM3:");
  EXPECT_EQ(reread.GetString("Paths", "Last", ""), "C:\\Users\\kerv\\Fonts\\set.kvf");

  FontSelection selection{};
  selection[0] = {"Arial Narrow", "D:\\Old install\\FontExt\\ARN01.she"};
  selection[5] = {"Swiss", "C:/Corvelle/FontExt/SWI.she"};
  const std::string kvf = dir.File("selection.kvf");
  ASSERT_TRUE(SaveSettingsFile(selection, kvf));
  EXPECT_NE(ReadFile(kvf).find("D:\\Old install\\FontExt\\ARN01.she\r\n"), std::string::npos);
  FontSelection loaded{};
  ASSERT_TRUE(LoadSettingsFile(kvf, "C:\\Program Files\\Corvelle", loaded));
  EXPECT_EQ(loaded[0].displayName, "Arial Narrow");
  EXPECT_EQ(loaded[0].fontPath, "C:\\Program Files\\Corvelle\\FontExt\\ARN01.she");
  EXPECT_EQ(loaded[5].fontPath, "C:\\Program Files\\Corvelle\\FontExt\\SWI.she");
  EXPECT_EQ(loaded[1], SelectionSlot{});
}

}  // namespace
}  // namespace corvelle
