// SPDX-License-Identifier: MIT
// The profile store: Windows-style reading, exact round trips, order kept, safe saving.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <climits>

#include "base/Profile.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

TEST(Profile, ReadsIntegersAndLooksUpNamesLikeTheWindowsProfile) {
  const std::pair<const char*, int> numbers[] = {{"  12abc", 12}, {"abc", 0}, {"-7", -7}, {"-", 0},
                                                 {"99999999999999999999", INT_MAX}, {"-99999999999999999999", INT_MIN}};
  for (const auto& [text, value] : numbers) EXPECT_EQ(Profile::ParseInt(text), value) << text;

  Profile p;
  p.Parse("[Impostazione porta]\r\nPort = COM1:\r\nEmpty=\r\n");
  EXPECT_EQ(p.GetString("impostazione PORTA", "port", "x"), "COM1:");
  EXPECT_EQ(p.GetString("Impostazioneporta", "Port", "x"), "x");
  EXPECT_EQ(p.GetInt("Impostazione porta", "EMPTY", 5), 0);
  EXPECT_EQ(p.GetInt("Impostazione porta", "Absent", 5), 5);
}

TEST(Profile, RewriteKeepsOrderForeignLinesAndKeySpellingAndTheFirstOfDuplicatesCounts) {
  Profile p;
  p.Parse("; a comment\n[Impostazione porta]\nport=LPT1:\nnot a pair\nPORT=2nd\n\n[Devices]\nCOM3=/dev/ttyUSB0\n");
  EXPECT_EQ(p.GetString("Impostazione porta", "Port", ""), "LPT1:");
  p.WriteString("Impostazione porta", "Port", "FILE");
  p.WriteInt("Impostazione porta", "Codepage", 4);
  p.WriteString("New", "Key", "v");
  EXPECT_EQ(p.Serialize(),
            "; a comment\n[Impostazione porta]\nport=FILE\nnot a pair\nPORT=2nd\nCodepage=4\n\n"
            "[Devices]\nCOM3=/dev/ttyUSB0\n[New]\nKey=v\n");
}

TEST(Profile, SavesIntoANewFolderAndValuesWithBlanksAndQuotesReadBack) {
  test::TempDir dir;
  const std::string path = dir.File("sub/dir/corvelle.ini");
  const std::vector<std::string> values{"Arial Bold      ", "  lead", "\"quoted\"", "\"half", "", "a=b", "tab\t"};
  Profile p(path);
  for (size_t i = 0; i < values.size(); ++i) p.WriteString("FontsAggiuntivi", "K" + std::to_string(i), values[i]);
  const Outcome saved = p.Save();
  ASSERT_TRUE(saved) << saved.message;
  const Profile back(path);
  for (size_t i = 0; i < values.size(); ++i) EXPECT_EQ(back.GetString("FontsAggiuntivi", "K" + std::to_string(i), "?"), values[i]);
}

TEST(Profile, AFailedSaveIsReportedAndLeavesTheOldFile) {
  test::TempDir dir;
  const std::string path = dir.Write("ro/corvelle.ini", "[S]\nK=old\n");
  ASSERT_EQ(chmod(dir.Path().c_str(), 0755) | chmod(dir.File("ro").c_str(), 0555), 0);
  EXPECT_EQ(test::RunUnprivileged([&] {
              Profile p(path);
              p.WriteString("S", "K", "new");
              const bool reported = p.Save().message.find(path) != std::string::npos;
              return reported && p.GetString("S", "K", "") == "new" ? 0 : 1;
            }),
            0);
  EXPECT_EQ(test::ReadFile(path), "[S]\nK=old\n");
  dir.Write("file", "x");
  Profile noFolder(dir.File("file/corvelle.ini"));
  noFolder.WriteInt("S", "K", 1);
  const Outcome saved = noFolder.Save();
  EXPECT_TRUE(!saved && saved.message.find("folder") != std::string::npos) << saved.message;
}

}  // namespace
}  // namespace corvelle
