// SPDX-License-Identifier: MIT
// The Windows files and folders: the replacing writer, UTF-8 paths through the wide APIs, the
// per-user folders and the profile lock.
#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iterator>
#include <memory>
#include <thread>

#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/ProfileLock.h"
#include "base/FileHandle.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

using test::ReadFile;
using test::TempDir;

TEST(WindowsFileWrite, ReplacesAnExistingFileAndReadsBackWhatWasCommitted) {
  const TempDir dir;
  const std::string target = dir.Write("image.shc", "old contents"), bytes("new\r\n\x1a\0end", 10);
  AtomicFile file(target, kFileMode);
  ASSERT_TRUE(file.IsOpen() && file.Write(bytes) && file.Commit());
  // The reader stays open across the rename, and the bytes are binary (no CR LF or ^Z handling).
  FileHandle reader = FileHandle::Adopt(file.TakeReader());
  std::string read(32, '\0');
  EXPECT_EQ(reader.Read(read.data(), read.size()), 10);
  EXPECT_EQ(read.substr(0, 10), bytes);
  EXPECT_EQ(ReadFile(target), bytes);
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
  const Outcome missing = ReplaceFileWhole(dir.File("no such folder\\x.ini"), "data");
  EXPECT_EQ(missing.message, kCannotCreate);
  EXPECT_EQ(missing.system, ENOENT);
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1) << "only the target is left";
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

TEST(WindowsPaths, TheProfileLivesInAppDataAndImagesInLocalAppData) {
  EXPECT_EQ(DefaultProfilePath(), std::string(std::getenv("APPDATA")) + "\\Corvelle\\corvelle.ini");
  const TempDir dir;
  EXPECT_EQ(WritableDataFolder(dir.Path()), dir.Path());
  // A folder the user cannot create files in (here: one that is not there) sends the images to
  // the per-user data folder, which is made.
  const std::string local = std::string(std::getenv("LOCALAPPDATA")) + "\\Corvelle";
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

}  // namespace
}  // namespace corvelle
