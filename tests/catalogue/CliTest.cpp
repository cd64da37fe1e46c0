// corvelle-cli catalogue and selection, run as a separate process against a FontExt folder and a
// profile made for each test: output, messages and exit statuses are the tool's contract.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include "CatalogueTesting.h"
#include "base/Paths.h"
#include "support/TempDir.h"

extern char** environ;

namespace corvelle {
namespace {

using test::IndexRecord;
using test::Padded;
using test::ReadFile;
using test::TempDir;

struct RunResult {
  int exit = -1;
  std::string out;
  std::string err;
};

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("prog/FontExt/Index1252.shi", IndexRecord({"west0", "Arial", "Western zero", 0, 12, 0, 1, 0, 0}) +
                                                IndexRecord({"west1", "Times", "Western one", 1, 14}) +
                                                IndexRecord({"west2", "Courier", "Western two"}));
    dir.Write("prog/FontExt/Index1250.shi", IndexRecord({"ce0", "Arial", "Central zero"}));
    std::string all;
    for (int i = 0; i < 120; ++i) all += IndexRecord({"all" + std::to_string(i), "F", "All " + std::to_string(i)});
    dir.Write("prog/FontExt/Index.shi", all);
  }

  RunResult Run(std::vector<std::string> args) {
    args.insert(args.begin(), {std::string(CORVELLE_BIN_DIR) + "/corvelle-cli", "--program-folder", Program(),
                               "--profile", ProfilePath()});
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    const std::string outPath = dir.File("stdout"), errPath = dir.File("stderr");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = 0;
    RunResult result;
    if (::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0) {
      int status = 0;
      while (::waitpid(pid, &status, 0) < 0) {
      }
      result.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    result.out = ReadFile(outPath);
    result.err = ReadFile(errPath);
    return result;
  }

  std::string Program() const { return dir.File("prog"); }
  std::string ProfilePath() const { return dir.File("config/corvelle.ini"); }
  std::string SheOf(const std::string& base) const { return FontExtFolder(Program()) + base + ".she"; }
  // Line p (1-based) of "selection show".
  std::string ShowLine(int p) {
    const std::string out = Run({"selection", "show"}).out;
    size_t start = 0;
    for (int i = 1; i < p; ++i) start = out.find('\n', start) + 1;
    return out.substr(start, out.find('\n', start) - start);
  }

  TempDir dir;
};

TEST_F(CliTest, CatalogueListsEntriesOfTheProfilesCodePageWithWin1252AsDefault) {
  const RunResult result = Run({"catalogue"});
  EXPECT_EQ(result.exit, 0);
  EXPECT_EQ(result.err, "");
  const std::string first = Padded("Western zero") + "\t" + Padded("west0") + Padded("Arial") + "   0  120100\t" +
                            SheOf("west0") + "\n";
  ASSERT_EQ(result.out.substr(0, first.size()), first);
  EXPECT_EQ(std::count(result.out.begin(), result.out.end(), '\n'), 3);

  dir.Write("config/corvelle.ini", "[Impostazione porta]\nCodepage=0\n");
  EXPECT_EQ(Run({"catalogue"}).out,
            Padded("Central zero") + "\t" + Padded("ce0") + Padded("Arial") + "   0   00000\t" + SheOf("ce0") + "\n");
  EXPECT_EQ(Run({"catalogue", "--codepage", "2"}).out, result.out);
  EXPECT_EQ(Run({"catalogue", "--codepage=2"}).out, result.out);
}

TEST_F(CliTest, CatalogueOfAMissingIndexOrUnknownChoiceIsEmptyButSucceeds) {
  for (const char* choice : {"3", "9", "-1"}) {
    const RunResult result = Run({"catalogue", "--codepage", choice});
    EXPECT_EQ(result.exit, 0) << choice;
    EXPECT_EQ(result.out, "") << choice;
  }
  EXPECT_EQ(Run({"catalogue", "--codepage", "two"}).exit, 2);
  EXPECT_EQ(Run({"catalogue", "extra"}).exit, 2);
}

TEST_F(CliTest, ShowPrintsAll112PositionsNumberedInThreeDigits) {
  const RunResult result = Run({"selection", "show"});
  EXPECT_EQ(result.exit, 0);
  std::string expected;
  for (int p = 1; p <= 112; ++p) {
    char number[8];
    std::snprintf(number, sizeof number, "%03d", p);
    expected += std::string(number) + "\t***\t***\n";
  }
  EXPECT_EQ(result.out, expected);
}

TEST_F(CliTest, AddPlacesFontsAndStoresThemInTheProfile) {
  const RunResult add = Run({"selection", "add", "--at", "3", "2", "0"});
  EXPECT_EQ(add.exit, 0) << add.err;
  EXPECT_EQ(ShowLine(2), "002\t***\t***");
  EXPECT_EQ(ShowLine(3), "003\t" + Padded("Western zero") + "\t" + SheOf("west0"));
  EXPECT_EQ(ShowLine(4), "004\t" + Padded("Western two") + "\t" + SheOf("west2"));
  const std::string profile = ReadFile(ProfilePath());
  EXPECT_NE(profile.find("[FontsAggiuntivi]"), std::string::npos);
  EXPECT_NE(profile.find("Font003=" + SheOf("west0")), std::string::npos);

  EXPECT_EQ(Run({"selection", "add", "--codepage", "0", "--at", "112", "0"}).exit, 0);
  EXPECT_EQ(ShowLine(112), "112\t" + Padded("Central zero") + "\t" + SheOf("ce0"));
  EXPECT_EQ(ShowLine(3), "003\t" + Padded("Western zero") + "\t" + SheOf("west0"));
}

TEST_F(CliTest, AddShowsTheWindowsMessagesAndChangesNothing) {
  const RunResult noDestination = Run({"selection", "add", "0"});
  EXPECT_EQ(noDestination.exit, 1);
  EXPECT_EQ(noDestination.err, "Select a destination position.\n");

  std::vector<std::string> tooMany{"selection", "add", "--codepage", "4", "--at", "1"};
  for (int i = 0; i < 113; ++i) tooMany.push_back(std::to_string(i));
  const RunResult many = Run(tooMany);
  EXPECT_EQ(many.exit, 1);
  EXPECT_EQ(many.err, "Select max. 112 fonts, please.\n\nNow 113 selected.\n");

  const RunResult emptyCatalogue = Run({"selection", "add", "--codepage", "3", "--at", "1"});
  EXPECT_EQ(emptyCatalogue.exit, 1);
  EXPECT_EQ(emptyCatalogue.err, "Select one available font.\n");

  EXPECT_FALSE(test::FileExists(ProfilePath()));
}

TEST_F(CliTest, AddRejectsBadPositionsAndIndicesAsUsageErrors) {
  EXPECT_EQ(Run({"selection", "add", "--at", "1", "3"}).exit, 2);
  EXPECT_EQ(Run({"selection", "add", "--at", "1", "x"}).exit, 2);
  EXPECT_EQ(Run({"selection", "add", "--at", "0", "1"}).exit, 2);
  EXPECT_EQ(Run({"selection", "add", "--at", "113", "1"}).exit, 2);
  EXPECT_EQ(Run({"selection", "remove", "113"}).exit, 2);
  EXPECT_EQ(Run({"selection", "show", "--at", "1"}).exit, 2);
  EXPECT_EQ(Run({"selection"}).exit, 2);
  EXPECT_EQ(Run({"selection", "paint"}).exit, 2);
  EXPECT_FALSE(test::FileExists(ProfilePath()));
}

TEST_F(CliTest, RemoveAndClearEmptyPositions) {
  ASSERT_EQ(Run({"selection", "add", "--at", "1", "0", "1", "2"}).exit, 0);
  EXPECT_EQ(Run({"selection", "remove", "2"}).exit, 0);
  EXPECT_EQ(ShowLine(1), "001\t" + Padded("Western zero") + "\t" + SheOf("west0"));
  EXPECT_EQ(ShowLine(2), "002\t***\t***");
  EXPECT_EQ(ShowLine(3), "003\t" + Padded("Western two") + "\t" + SheOf("west2"));
  EXPECT_EQ(Run({"selection", "clear"}).exit, 0);
  EXPECT_EQ(ShowLine(1), "001\t***\t***");
  EXPECT_NE(ReadFile(ProfilePath()).find("Font001=\n"), std::string::npos);
}

TEST_F(CliTest, SaveAndLoadMoveSelectionsThroughKvfFiles) {
  ASSERT_EQ(Run({"selection", "add", "--at", "1", "1"}).exit, 0);
  const std::string saved = dir.File("saved.kvf");
  EXPECT_EQ(Run({"selection", "save", saved}).exit, 0);
  std::string expected = Padded("Western one") + "\r\n" + SheOf("west1") + "\r\n";
  for (int p = 1; p < 112; ++p) expected += "***\r\n***\r\n";
  EXPECT_EQ(ReadFile(saved), expected);

  const std::string foreign = dir.Write("foreign.kvf", "Old name\r\nC:\\Old\\FontExt\\old.she\r\nBare\r\nbare.she\r\n");
  EXPECT_EQ(Run({"selection", "load", foreign}).exit, 0);
  EXPECT_EQ(ShowLine(1), "001\tOld name\t" + SheOf("old"));
  EXPECT_EQ(ShowLine(2), "002\tBare\tbare.she");
  EXPECT_EQ(ShowLine(3), "003\t***\t***");

  const std::string before = ReadFile(ProfilePath());
  const RunResult missing = Run({"selection", "load", dir.File("missing.kvf")});
  EXPECT_EQ(missing.exit, 1);
  EXPECT_NE(missing.err.find(dir.File("missing.kvf")), std::string::npos) << missing.err;
  EXPECT_EQ(ReadFile(ProfilePath()), before);

  MakeFolders(dir.File("folder.kvf"));
  const RunResult folder = Run({"selection", "save", dir.File("folder.kvf")});
  EXPECT_EQ(folder.exit, 1);
  EXPECT_NE(folder.err.find("folder.kvf"), std::string::npos);
}

TEST_F(CliTest, AProfileThatCannotBeSavedIsAnError) {
  test::WriteFile(dir.File("config"), "a file where the profile's folder should be");
  const RunResult result = Run({"selection", "clear"});
  EXPECT_EQ(result.exit, 1);
  EXPECT_NE(result.err.find("corvelle-cli: "), std::string::npos);
}

TEST_F(CliTest, HelpAndUnknownOptions) {
  const RunResult tool = Run({"--help"});
  EXPECT_EQ(tool.exit, 0);
  EXPECT_NE(tool.out.find("catalogue"), std::string::npos);
  EXPECT_NE(tool.out.find("selection"), std::string::npos);
  for (const char* command : {"catalogue", "selection"}) {
    const RunResult help = Run({command, "--help"});
    EXPECT_EQ(help.exit, 0);
    EXPECT_EQ(help.out.rfind(std::string("Usage: corvelle-cli ") + command, 0), 0u) << help.out;
  }
  for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
           {"catalogue", "--bogus"}, {"selection", "show", "--bogus"}, {"selection", "add", "--at", "1", "--x", "0"}}) {
    const RunResult result = Run(args);
    EXPECT_EQ(result.exit, 2);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
}

}  // namespace
}  // namespace corvelle
