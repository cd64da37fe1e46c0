// Selection settings files: exact round trips, moving between installations, damaged and
// hostile files, and write failures that must not pass for success.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include "CatalogueTesting.h"
#include "base/Paths.h"
#include "catalogue/SettingsFile.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

using test::ReadFile;
using test::TempDir;

FontSelection SampleSelection(const std::string& programFolder) {
  FontSelection selection;
  for (size_t p = 0; p < selection.size(); p += 2) {
    std::string name = "Font " + std::to_string(p);
    name.resize(32, ' ');
    selection[p] = {name, FontExtFolder(programFolder) + "f" + std::to_string(p) + ".she"};
  }
  return selection;
}

std::string Lines(const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\r\n";
  return text;
}

class SettingsFileTest : public ::testing::Test {
 protected:
  // Unprivileged children must reach the folder, so that what stops them is the file itself.
  void SetUp() override { ASSERT_EQ(::chmod(dir.Path().c_str(), 0755), 0); }

  FontSelection Load(const std::string& bytes) {
    FontSelection selection;
    const FileResult result = LoadSettingsFile(dir.Write("in.kvf", bytes), dir.Path(), selection);
    EXPECT_TRUE(result) << result.error;
    EXPECT_EQ(selection, ParseSettings(bytes, dir.Path()));
    return selection;
  }
  TempDir dir;
};

TEST_F(SettingsFileTest, SavedFileHas224CrLfLinesAndLoadsBackExactly) {
  const FontSelection selection = SampleSelection(dir.Path());
  const std::string path = dir.File("sel.kvf");
  ASSERT_TRUE(SaveSettingsFile(selection, path));

  const std::string text = ReadFile(path);
  EXPECT_EQ(text, SerializeSettings(selection));
  size_t lines = 0;
  for (size_t at = text.find("\r\n"); at != std::string::npos; at = text.find("\r\n", at + 2)) ++lines;
  EXPECT_EQ(lines, 224u);
  EXPECT_EQ(text.substr(0, 34), "Font 0                          \r\n");
  EXPECT_EQ(text.substr(text.size() - 10), "***\r\n***\r\n");

  FontSelection loaded;
  ASSERT_TRUE(LoadSettingsFile(path, dir.Path(), loaded));
  EXPECT_EQ(loaded, selection);
}

TEST_F(SettingsFileTest, PathsFromAnotherInstallationMoveIntoThisFontExt) {
  const FontSelection selection = Load(Lines({"Win font", "C:\\Old\\FontExt\\x.she", "Unix font",
                                              "/other/FontExt/y.she", "Mixed \\ name", "..\\a/b\\z.she"}));
  const std::string fontExt = FontExtFolder(dir.Path());
  EXPECT_EQ(selection[0], (SelectionSlot{"Win font", fontExt + "x.she"}));
  EXPECT_EQ(selection[1], (SelectionSlot{"Unix font", fontExt + "y.she"}));
  EXPECT_EQ(selection[2], (SelectionSlot{"Mixed \\ name", fontExt + "z.she"}));
}

TEST_F(SettingsFileTest, PathLinesWithoutSeparatorAreKeptAsRead) {
  const FontSelection selection = Load(Lines({"Bare", "bare.she", "***", "***", "", ""}));
  EXPECT_EQ(selection[0], (SelectionSlot{"Bare", "bare.she"}));
  EXPECT_EQ(selection[1], SelectionSlot{});
  EXPECT_EQ(selection[2], (SelectionSlot{"", ""}));
}

TEST_F(SettingsFileTest, AlwaysGivesExactly112Positions) {
  const FontSelection odd = Load(Lines({"A", "a.she", "B"}));
  EXPECT_EQ(odd[0], (SelectionSlot{"A", "a.she"}));
  EXPECT_EQ(odd[1], (SelectionSlot{"B", "***"}));
  EXPECT_EQ(odd[2], SelectionSlot{});
  EXPECT_EQ(odd[111], SelectionSlot{});

  std::vector<std::string> many;
  for (int p = 0; p < 130; ++p) {
    many.push_back("N" + std::to_string(p));
    many.push_back("p" + std::to_string(p));
  }
  const FontSelection extra = Load(Lines(many));
  EXPECT_EQ(extra[111], (SelectionSlot{"N111", "p111"}));

  EXPECT_EQ(Load(""), FontSelection{});
}

TEST_F(SettingsFileTest, LineEndsAreLfWithAnOptionalCrBeforeIt) {
  const FontSelection selection = Load("lf only\nlf.she\nin\rside\n\r\r\nlast without end");
  EXPECT_EQ(selection[0], (SelectionSlot{"lf only", "lf.she"}));
  EXPECT_EQ(selection[1], (SelectionSlot{"in\rside", "\r"}));
  EXPECT_EQ(selection[2], (SelectionSlot{"last without end", "***"}));
  EXPECT_EQ(SplitSettingsLines("a\r\nb\r\n"), (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(SplitSettingsLines("a\r"), (std::vector<std::string>{"a\r"}));
}

TEST_F(SettingsFileTest, ACrLfSplitBetweenTwoReadsIsStillOneLineEnd) {
  // 65 lines of 1002 bytes, then a line whose CR is the last byte of the first 64 KiB read.
  std::vector<std::string> lines(65, std::string(1000, 'n'));
  lines.push_back(std::string(65535 - 65 * 1002, 'c'));
  lines.push_back("after");
  const FontSelection selection = Load(Lines(lines));
  EXPECT_EQ(selection[32].fontPath, lines[65]);
  EXPECT_EQ(selection[33].displayName, "after");
}

TEST_F(SettingsFileTest, OverLongLinesAreCutAndTheirRestSkipped) {
  const std::string huge(1 << 20, 'A');
  const FontSelection selection = Load(huge + "\r\nnext.she\r\n" + std::string(4096, 'B') + "\r\n" +
                                       std::string(4097, 'C') + "\r\n" + std::string(4095, 'D') + "\ry\r\n");
  EXPECT_EQ(selection[0].displayName, std::string(kMaxSettingsLine, 'A'));
  EXPECT_EQ(selection[0].fontPath, "next.she");
  EXPECT_EQ(selection[1].displayName, std::string(4096, 'B'));
  EXPECT_EQ(selection[1].fontPath, std::string(4096, 'C'));
  // The CR kept at the cut is inside the line, not before its LF.
  EXPECT_EQ(selection[2], (SelectionSlot{std::string(4095, 'D') + "\r", "***"}));
}

TEST_F(SettingsFileTest, AFileThatCannotBeOpenedOrReadLeavesTheSelection) {
  const FontSelection before = SampleSelection(dir.Path());
  FontSelection selection = before;
  const FileResult missing = LoadSettingsFile(dir.File("missing.kvf"), dir.Path(), selection);
  EXPECT_FALSE(missing);
  EXPECT_NE(missing.error.find(dir.File("missing.kvf")), std::string::npos) << missing.error;
  EXPECT_EQ(selection, before);

  MakeFolders(dir.File("folder.kvf"));
  EXPECT_FALSE(LoadSettingsFile(dir.File("folder.kvf"), dir.Path(), selection));
  EXPECT_EQ(selection, before);

  const std::string secret = dir.Write("secret.kvf", "x\r\ny\r\n");
  ASSERT_EQ(::chmod(secret.c_str(), 0600), 0);
  EXPECT_EQ(test::RunUnprivileged([&] {
              FontSelection child = before;
              return !LoadSettingsFile(secret, dir.Path(), child) && child == before ? 0 : 1;
            }),
            0);
}

TEST_F(SettingsFileTest, AReadOnlyFileCanBeLoaded) {
  const std::string path = dir.Write("ro.kvf", "Name\r\nn.she\r\n");
  ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
  EXPECT_EQ(test::RunUnprivileged([&] {
              FontSelection child;
              return LoadSettingsFile(path, "/prog", child) && child[0].fontPath == "n.she" ? 0 : 1;
            }),
            0);
}

TEST_F(SettingsFileTest, WriteFailuresAreReportedAsFailures) {
  const FontSelection selection = SampleSelection(dir.Path());
  MakeFolders(dir.File("folder.kvf"));
  const FileResult folder = SaveSettingsFile(selection, dir.File("folder.kvf"));
  EXPECT_FALSE(folder);
  EXPECT_NE(folder.error.find("folder.kvf"), std::string::npos);

  const FileResult full = SaveSettingsFile(selection, "/dev/full");
  EXPECT_FALSE(full);
  EXPECT_NE(full.error.find("/dev/full"), std::string::npos) << full.error;

  // A file size limit stops the write part-way, as a full disk does.
  MakeFolders(dir.File("open"));
  ASSERT_EQ(::chmod(dir.File("open").c_str(), 0777), 0);
  const std::string limited = dir.File("open/limited.kvf");
  EXPECT_EQ(test::RunUnprivileged([&] {
              ::signal(SIGXFSZ, SIG_IGN);
              const rlimit limit{100, 100};
              if (::setrlimit(RLIMIT_FSIZE, &limit) != 0) return 2;
              return SaveSettingsFile(selection, limited) ? 1 : 0;
            }),
            0);
  // The save goes through a temporary file, so a failed one leaves nothing behind.
  EXPECT_FALSE(test::FileExists(limited));

  EXPECT_TRUE(SaveSettingsFile(selection, "/dev/null"));
}

}  // namespace
}  // namespace corvelle
