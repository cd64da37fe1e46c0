// Profiles that are truncated, huge, garbage, hold 1 MB lines, cannot be read, or are no files:
// each reads with one clear outcome, and a profile that was not read is never overwritten.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/Profile.h"
#include "hardening/HardeningKit.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

using test::ReadFile;
using test::TempDir;

constexpr std::int64_t kMiB = 1 << 20;

struct FileStamp {
  off_t size = -1;
  ino_t inode = 0;
  std::int64_t modified = 0;
  bool operator==(const FileStamp&) const = default;
};

FileStamp Stamp(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {st.st_size, st.st_ino, st.st_mtim.tv_sec * 1000000000ll + st.st_mtim.tv_nsec};
}

// Changes a setting and saves, as closing the window with OK does. True when Save refused with
// a message that names the file and says it was left alone.
bool SaveIsRefused(Profile& profile) {
  profile.WriteString("Impostazione porta", "Port", "COM2:");
  if (profile.Save()) return false;
  return profile.LastError().find(profile.Path()) != std::string::npos &&
         profile.LastError().find("not saved") != std::string::npos;
}

class HostileProfile : public testing::Test {
 protected:
  TempDir dir;
  std::string path = dir.File("corvelle.ini");
};

TEST_F(HostileProfile, ATruncatedProfileReadsWhatItHoldsAndSavesWhole) {
  dir.Write("corvelle.ini", "[Impostazione porta]\r\nPortSpeed=6\r\nPort=CO");
  Profile profile(path);
  EXPECT_TRUE(profile.LoadError().empty());
  EXPECT_EQ(profile.GetString("Impostazione porta", "Port", "?"), "CO");
  profile.WriteInt("Impostazione porta", "IPport", 4001);
  ASSERT_TRUE(profile.Save()) << profile.LastError();
  EXPECT_EQ(ReadFile(path), "[Impostazione porta]\nPortSpeed=6\nPort=CO\nIPport=4001\n");
}

TEST_F(HostileProfile, AHugeProfileIsRefusedUnreadAndNeverOverwritten) {
  ASSERT_TRUE(test::MakeSparseFile(path, 100ull << 20));
  const FileStamp before = Stamp(path);
  std::int64_t growth = 0;
  {
    std::unique_ptr<Profile> profile;
    growth = test::PeakMemoryGrowth([&] { profile = std::make_unique<Profile>(path); });
    EXPECT_NE(profile->LoadError().find("larger than 4 MiB"), std::string::npos) << profile->LoadError();
    EXPECT_EQ(profile->GetInt("Impostazione porta", "PortSpeed", 6), 6);
    EXPECT_TRUE(SaveIsRefused(*profile)) << profile->LastError();
  }
  // A later Profile of the same file, as the next start of the program makes, refuses as well.
  Profile again(path);
  EXPECT_TRUE(SaveIsRefused(again));
  EXPECT_EQ(Stamp(path), before);
  EXPECT_LT(growth, kMiB);
}

TEST_F(HostileProfile, TheCapsAreExactBoundaries) {
  const std::string line = "x=" + std::string(kMaxProfileBytes / kMaxProfileLines - 3, 'v') + "\n";
  std::string text;
  for (size_t i = 0; i < kMaxProfileLines; ++i) text += line;
  text.resize(kMaxProfileBytes, 'v');
  dir.Write("corvelle.ini", text);
  Profile atCap(path);
  EXPECT_TRUE(atCap.LoadError().empty()) << atCap.LoadError();

  dir.Write("corvelle.ini", text + "v");
  EXPECT_FALSE(Profile(path).LoadError().empty());

  dir.Write("corvelle.ini", std::string(kMaxProfileLines, '\n'));
  EXPECT_TRUE(Profile(path).LoadError().empty());
  dir.Write("corvelle.ini", std::string(kMaxProfileLines, '\n') + "x");
  EXPECT_FALSE(Profile(path).LoadError().empty());
}

TEST_F(HostileProfile, ASaveThatWouldNotReadBackIsRefusedAndTheOldFileKept) {
  dir.Write("corvelle.ini", "[S]\nK=old\n");
  Profile profile(path);
  profile.WriteString("S", "K", std::string(kMaxProfileBytes, 'v'));
  EXPECT_FALSE(profile.Save());
  EXPECT_NE(profile.LastError().find("too large to read back"), std::string::npos) << profile.LastError();
  EXPECT_EQ(ReadFile(path), "[S]\nK=old\n");
}

TEST_F(HostileProfile, GarbageReadsAndEveryValueSurvivesASave) {
  dir.Write("corvelle.ini", test::Garbage(1 << 20, 3));
  Profile garbage(path);
  ASSERT_TRUE(garbage.LoadError().empty()) << garbage.LoadError();
  garbage.WriteString("Impostazione porta", "Port", "COM2:");
  ASSERT_TRUE(garbage.Save()) << garbage.LastError();
  const Profile back(path);
  EXPECT_EQ(back.GetString("Impostazione porta", "Port", "?"), "COM2:");
  size_t values = 0;
  for (const std::string& section : garbage.Sections()) {
    for (const auto& [key, value] : garbage.Entries(section)) {
      ASSERT_EQ(back.GetString(section, key, "\x01"), garbage.GetString(section, key, "\x02")) << section << '/' << key;
      ++values;
    }
  }
  EXPECT_GT(values, 0u);
}

TEST_F(HostileProfile, OneMegabyteLinesAreReadAndWrittenWhole) {
  const std::string value(1 << 20, 'v');
  dir.Write("corvelle.ini", "[FontsAggiuntivi]\nFontDialog001=" + value + "\n" + std::string(1 << 20, ';') +
                                "\nFont001=/opt/corvelle/FontExt/BLKR10WE.she\n");
  Profile profile(path);
  EXPECT_EQ(profile.GetString("FontsAggiuntivi", "FontDialog001", ""), value);
  EXPECT_EQ(profile.GetString("FontsAggiuntivi", "Font001", ""), "/opt/corvelle/FontExt/BLKR10WE.she");
  profile.WriteString("FontsAggiuntivi", "Font002", value);
  ASSERT_TRUE(profile.Save()) << profile.LastError();
  EXPECT_EQ(Profile(path).GetString("FontsAggiuntivi", "Font002", ""), value);
}

TEST_F(HostileProfile, AnUnreadableProfileIsNotReplacedByDefaults) {
  dir.Write("corvelle.ini", "[Impostazione porta]\nPort=COM3:\n");
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0), 0);
  const int result = test::RunUnprivileged([&] {
    Profile profile(path);
    if (profile.LoadError().find("Permission denied") == std::string::npos) return 2;
    return SaveIsRefused(profile) ? 0 : 3;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(path), "[Impostazione porta]\nPort=COM3:\n");
}

TEST_F(HostileProfile, AReadOnlyProfileOrFolderIsNotWritten) {
  dir.Write("corvelle.ini", "[Impostazione porta]\nPort=COM3:\n");
  dir.Write("locked/corvelle.ini", "[Impostazione porta]\nPort=COM4:\n");
  ASSERT_EQ(::chmod(dir.Path().c_str(), 0777), 0);
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  ASSERT_EQ(::chmod(dir.File("locked").c_str(), 0555), 0);
  const int result = test::RunUnprivileged([&] {
    // Read-only file in a writable folder, then a writable file in a read-only folder.
    for (const std::string& name : {path, dir.File("locked/corvelle.ini")}) {
      Profile profile(name);
      if (!profile.LoadError().empty()) return 2;
      profile.WriteString("Impostazione porta", "Port", "COM2:");
      if (profile.Save()) return 3;
      if (profile.LastError() != "cannot write " + name + ": Permission denied") return 4;
    }
    return 0;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(path), "[Impostazione porta]\nPort=COM3:\n");
  EXPECT_EQ(ReadFile(dir.File("locked/corvelle.ini")), "[Impostazione porta]\nPort=COM4:\n");
  ::chmod(dir.File("locked").c_str(), 0755);
}

TEST_F(HostileProfile, FifosDevicesAndFoldersAreRefusedWithoutWaiting) {
  const std::string fifo = dir.File("pipe.ini");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  dir.Write("folder.ini/x", "");
  for (const std::string& name : {fifo, std::string("/dev/zero"), dir.File("folder.ini")}) {
    const int result = test::RunWithin(10, [&] {
      Profile profile(name);
      if (profile.LoadError() != "cannot read " + name + ": not a regular file") return 2;
      return SaveIsRefused(profile) ? 0 : 3;
    });
    EXPECT_EQ(result, 0) << name;
  }
  struct stat st {};
  ASSERT_EQ(::stat(fifo.c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

TEST_F(HostileProfile, AMissingProfileIsCreatedByTheFirstSave) {
  Profile profile(dir.File("new/corvelle.ini"));
  EXPECT_TRUE(profile.LoadError().empty());
  profile.WriteString("S", "K", "v");
  EXPECT_TRUE(profile.Save()) << profile.LastError();
}

}  // namespace
}  // namespace corvelle
