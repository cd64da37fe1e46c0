// The profile store: Windows-style reading, round trips, order kept, atomic saving.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "base/Profile.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

using test::ReadFile;
using test::TempDir;

TEST(ProfileParseInt, ReadsLeadingDigitsLikeTheWindowsProfile) {
  EXPECT_EQ(Profile::ParseInt("4001"), 4001);
  EXPECT_EQ(Profile::ParseInt("  12abc"), 12);
  EXPECT_EQ(Profile::ParseInt("abc"), 0);
  EXPECT_EQ(Profile::ParseInt(""), 0);
  EXPECT_EQ(Profile::ParseInt("-7"), -7);
  EXPECT_EQ(Profile::ParseInt("-"), 0);
  EXPECT_EQ(Profile::ParseInt("99999999999999999999"), 2147483647);
  EXPECT_EQ(Profile::ParseInt("-99999999999999999999"), -2147483647 - 1);
}

TEST(Profile, SectionAndKeyLookupIgnoresCaseAndKeepsSpacesInNames) {
  Profile p;
  p.Parse("[Impostazione porta]\r\nPort = COM1:\r\nPortSpeed=3\r\n");
  EXPECT_EQ(p.GetString("impostazione PORTA", "port", "x"), "COM1:");
  EXPECT_EQ(p.GetInt("Impostazione porta", "PORTSPEED", 2), 3);
  EXPECT_EQ(p.GetInt("Impostazioneporta", "PortSpeed", 2), 2);
  EXPECT_EQ(p.GetString("Impostazione porta", "Missing", "dflt"), "dflt");
}

TEST(Profile, AbsentKeyGivesDefaultButEmptyIntegerReadsZero) {
  Profile p;
  p.Parse("[S]\nEmpty=\n");
  EXPECT_EQ(p.GetInt("S", "Empty", 5), 0);
  EXPECT_EQ(p.GetInt("S", "Absent", 5), 5);
  EXPECT_EQ(p.GetString("S", "Empty", "d"), "");
}

TEST(Profile, ValuesWithOuterBlanksAndQuotesRoundTrip) {
  TempDir dir;
  const std::string path = dir.File("corvelle.ini");
  const std::vector<std::string> values{"Arial Bold                      ", "  lead", "\"quoted\"", "\"half", "plain",
                                        "", "a=b", "tab\t"};
  {
    Profile p(path);
    for (size_t i = 0; i < values.size(); ++i) p.WriteString("FontsAggiuntivi", "K" + std::to_string(i), values[i]);
    ASSERT_TRUE(p.Save()) << p.LastError();
  }
  Profile back(path);
  for (size_t i = 0; i < values.size(); ++i) {
    EXPECT_EQ(back.GetString("FontsAggiuntivi", "K" + std::to_string(i), "?"), values[i]) << i;
  }
}

TEST(Profile, RewriteKeepsOrderForeignLinesAndKeySpelling) {
  Profile p;
  p.Parse("; a comment\n[Devices]\nCOM3=/dev/ttyUSB0\nnot a pair\n[Impostazione porta]\nport=LPT1:\nIPport=4001\n");
  p.WriteString("Impostazione porta", "Port", "FILE");
  p.WriteInt("Impostazione porta", "Codepage", 4);
  p.WriteString("New", "Key", "v");
  EXPECT_EQ(p.Serialize(),
            "; a comment\n[Devices]\nCOM3=/dev/ttyUSB0\nnot a pair\n[Impostazione porta]\nport=FILE\nIPport=4001\n"
            "Codepage=4\n[New]\nKey=v\n");
}

TEST(Profile, NewKeyGoesAfterTheLastEntryOfItsSection) {
  Profile p;
  p.Parse("[A]\nx=1\n\n[B]\ny=2\n");
  p.WriteString("A", "z", "3");
  EXPECT_EQ(p.Serialize(), "[A]\nx=1\nz=3\n\n[B]\ny=2\n");
}

TEST(Profile, MissingOrUnreadableFileReadsEmpty) {
  TempDir dir;
  Profile missing(dir.File("none.ini"));
  EXPECT_EQ(missing.GetString("S", "K", "d"), "d");
  Profile folder(dir.Path());  // a folder is not a readable profile
  EXPECT_EQ(folder.GetInt("S", "K", 9), 9);
}

TEST(Profile, SaveCreatesFolderAndReplacesAtomically) {
  TempDir dir;
  const std::string path = dir.File("sub/dir/corvelle.ini");
  Profile p(path);
  p.WriteInt("S", "K", 1);
  ASSERT_TRUE(p.Save()) << p.LastError();
  EXPECT_EQ(ReadFile(path), "[S]\nK=1\n");
  // No temporary file is left behind.
  EXPECT_EQ(system(("test $(ls -A " + dir.File("sub/dir") + " | wc -l) -eq 1").c_str()), 0);
}

TEST(Profile, FailedSaveReportsAndLeavesOldFile) {
  TempDir dir;
  const std::string path = dir.Write("ro/corvelle.ini", "[S]\nK=old\n");
  chmod(dir.Path().c_str(), 0755);
  chmod(dir.File("ro").c_str(), 0555);
  chmod(path.c_str(), 0644);
  const int result = test::RunUnprivileged([&] {
    Profile p(path);
    if (p.GetString("S", "K", "") != "old") return 2;
    p.WriteString("S", "K", "new");
    if (p.Save()) return 3;
    return p.LastError().find("corvelle.ini") != std::string::npos ? 0 : 4;
  });
  EXPECT_EQ(result, 0);
  EXPECT_EQ(ReadFile(path), "[S]\nK=old\n");
}

TEST(Profile, SaveFailsWhenTheFolderCannotBeMade) {
  TempDir dir;
  dir.Write("file", "x");
  Profile p(dir.File("file/corvelle.ini"));
  p.WriteInt("S", "K", 1);
  EXPECT_FALSE(p.Save());
  EXPECT_NE(p.LastError().find("folder"), std::string::npos);
}

TEST(Profile, UnboundProfileCannotSave) {
  Profile p;
  p.WriteInt("S", "K", 1);
  EXPECT_FALSE(p.Save());
  EXPECT_FALSE(p.LastError().empty());
}

TEST(Profile, DuplicateSectionsAndKeysAnswerWithTheFirst) {
  Profile p;
  p.Parse("[S]\nK=1\nK=2\n[s]\nK=3\n");
  EXPECT_EQ(p.GetInt("S", "K", 0), 1);
  p.WriteInt("S", "K", 9);
  EXPECT_EQ(p.Serialize(), "[S]\nK=9\nK=2\n[s]\nK=3\n");
}

}  // namespace
}  // namespace corvelle
