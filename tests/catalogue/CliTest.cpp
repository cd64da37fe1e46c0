// SPDX-License-Identifier: MIT
// corvelle-cli catalogue and selection, run as the built program against a FontExt folder and a
// profile made for each test: output, messages and exit statuses are the tool's contract.
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <map>

#include "CatalogueTesting.h"
#include "base/Paths.h"
#include "cli/CliKit.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

using test::IndexRecord;
using test::Padded;

// Arguments, then the expected exit status, output and error output.
using Step = std::tuple<std::vector<std::string>, int, std::string, std::string>;

class CliTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir.Write("program/FontExt/Index1252.shi", IndexRecord({"west0", "Arial", "Western zero", 0, 12, 0, 1, 0, 0}) +
                                                   IndexRecord({"west1", "Times", "Western one", 1, 14}));
    dir.Write("program/FontExt/Index1250.shi", IndexRecord({"ce0", "Arial", "Central zero"}));
    std::string all;
    for (int i = 0; i < 300; ++i) all += IndexRecord({"all", "F", "All"});
    dir.Write("program/FontExt/Index.shi", all);
  }
  void Expect(const std::vector<Step>& steps) {
    for (const auto& [args, exit, out, err] : steps) {
      // A run that blocks (a save held by a FIFO, say) is killed after 10 s and fails here.
      const test::Finished run = kit.Run(args, test::After(10'000), SIGKILL);
      EXPECT_EQ(std::tie(run.exit, run.out, run.err), std::tie(exit, out, err)) << args.back();
    }
  }
  std::string She(const std::string& base) { return FontExtFolder(kit.program) + base + ".she"; }
  // A catalogue line: list text, detail text and font path.
  std::string Listed(const std::string& name, const std::string& base, const std::string& face, const char* numbers) {
    return Padded(name) + "\t" + Padded(base) + Padded(face) + numbers + "\t" + She(base) + "\n";
  }
  // What "selection show" prints with the positions of `used` (number: name TAB path) in use.
  static std::string Shown(const std::map<int, std::string>& used) {
    std::string out;
    for (int p = 1; p <= 112; ++p)
      out += std::to_string(1000 + p).substr(1) + "\t" + (used.count(p) ? used.at(p) : "***\t***") + "\n";
    return out;
  }
  test::CliKit kit;
  const test::TempDir& dir = kit.dir;
};

TEST_F(CliTest, CatalogueListsTheProfilesCodePageWithWin1252AsDefault) {
  const std::string zero = Listed("Western zero", "west0", "Arial", "   0  120100"),
                    one = Listed("Western one", "west1", "Times", "   1  140000"), western = zero + one;
  // Numbered: the index 'selection add' takes, first.
  const std::string numbered = "0\t" + zero + "1\t" + one;
  Expect({{{"catalogue"}, 0, western, ""}, {{"catalogue", "--codepage=3"}, 0, "", ""},
          {{"catalogue", "-n"}, 0, numbered, ""}, {{"catalogue", "--numbered", "--codepage", "2"}, 0, numbered, ""},
          {{"catalogue", "--", "-n"}, 2, "", "corvelle-cli: catalogue takes no arguments (see corvelle-cli --help)\n"}});
  dir.Write("config/corvelle.ini", "[Impostazione porta]\nCodepage=0\n");
  Expect({{{"catalogue"}, 0, Listed("Central zero", "ce0", "Arial", "   0   00000"), ""},
          {{"catalogue", "--codepage", "2"}, 0, western, ""}});
}

TEST_F(CliTest, SelectionCommandsWorkAsTheWindowsButtons) {
  const auto addMany = [](int count) {
    std::vector<std::string> args{"selection", "add", "--codepage", "4", "--at", "1"};
    for (int i = 0; i < count; ++i) args.push_back(std::to_string(i));
    return args;
  };
  const std::string zero = Padded("Western zero") + "\t" + She("west0");
  const std::string ce = Padded("Central zero") + "\t" + She("ce0");
  Expect({{{"selection", "add", "--at", "3", "1", "0"}, 0, "", ""},
          {{"selection", "add", "--codepage", "0", "--at", "112", "0"}, 0, "", ""},
          {{"selection", "add", "0"}, 1, "", "Select a destination position.\n"},
          {addMany(113), 1, "", "Select max. 112 fonts, please.\n\nNow 113 selected.\n"},
          {addMany(300), 1, "", "Select max. 112 fonts, please.\n\nNow 300 selected.\n"},
          {{"selection", "add", "--codepage", "3", "--at", "1"}, 1, "", "Select one available font.\n"},
          // Fonts that run past position 112 are named, and none of them is placed.
          {{"selection", "add", "--codepage", "4", "--at", "111", "3", "0", "2", "1"}, 1, "",
           "corvelle-cli: 2 of the 4 fonts do not fit from position 111 (the last is 112): 2 All, 3 All; "
           "nothing was stored\n"},
          {{"selection", "add", "--at", "112", "1", "0"}, 1, "",
           "corvelle-cli: 1 of the 2 fonts do not fit from position 112 (the last is 112): 1 Western one; "
           "nothing was stored\n"},
          {{"selection", "remove", "4"}, 0, "", ""}, {{"selection", "show"}, 0, Shown({{3, zero}, {112, ce}}), ""},
          {{"selection", "clear"}, 0, "", ""}, {{"selection", "show"}, 0, Shown({}), ""}});
}

TEST_F(CliTest, SaveAndLoadMoveSelectionsThroughKvfFilesAndFailuresChangeNothing) {
  const std::string in =
      dir.Write("in.kvf", "Old name  \r\nC:\\Old\\FontExt\\old.she\r\n***\r\nbare.she\r\nLonely\r\n***\r\n");
  // A bare name is a file of this FontExt too, never one of the current folder.
  std::string out = "Old name  \r\n" + She("old") + "\r\n***\r\n" + She("bare") + "\r\nLonely\r\n***\r\n";
  for (int p = 3; p < 112; ++p) out += "***\r\n***\r\n";
  Expect({{{"selection", "load", in}, 0, "", ""}, {{"selection", "save", dir.File("out.kvf")}, 0, "", ""}});
  EXPECT_EQ(test::ReadFile(dir.File("out.kvf")), out);
  EXPECT_NE(test::ReadFile(dir.File("config/corvelle.ini")).find("\nFont003=\n"), std::string::npos);
  // A FIFO nobody reads is refused at once, not held until a reader comes.
  const std::string folder = dir.File("folder.kvf"), fifo = dir.File("fifo.kvf");
  ASSERT_TRUE(MakeFolders(folder) && ::mkfifo(fifo.c_str(), 0600) == 0);
  const std::tuple<const char*, std::string, const char*, const char*> failures[] = {
      {"load", dir.File("no.kvf"), "open", "No such file or directory"}, {"load", folder, "open", "not a regular file"},
      {"save", folder, "create", "not a regular file"}, {"save", fifo, "create", "not a regular file"}};
  for (const auto& [sub, path, verb, reason] : failures)
    Expect({{{"selection", sub, path}, 1, "", "corvelle-cli: cannot " + std::string(verb) + " " + path + ": " + reason +
                                                  "\n"}});
  Expect({{{"selection", "show"}, 0, Shown({{1, "Old name  \t" + She("old")}, {2, "***\t" + She("bare")}, {3, "Lonely\t***"}}),
           ""}});
}

TEST_F(CliTest, UsageErrorsExitWithTwoAndAProfileThatCannotBeSavedWithOne) {
  const std::vector<std::string> usageErrors[] = {
      {"catalogue", "--bogus"}, {"catalogue", "--codepage", "two"}, {"catalogue", "--codepage", "9"},
      {"catalogue", "--codepage", "-1"}, {"selection", "show", "--at", "1"}, {"selection", "add", "--at", "1", "2"},
      {"selection", "add", "--at", "113", "1"}, {"selection", "paint"}};
  for (const auto& args : usageErrors) {
    const test::Finished run = kit.Run(args);
    EXPECT_EQ(run.exit, 2) << testing::PrintToString(args);
    EXPECT_EQ(std::count(run.err.begin(), run.err.end(), '\n'), 1) << run.err;
  }
  EXPECT_FALSE(test::FileExists(kit.profile));
  ASSERT_EQ(::rmdir(ParentFolder(kit.profile).c_str()), 0);
  const std::string file = dir.Write("config", "a file where the profile's folder should be");
  Expect({{{"selection", "clear"}, 1, "", "corvelle-cli: cannot create folder " + file + ": Not a directory\n"}});
}

TEST_F(CliTest, AProfileThatCannotBeReadOrAMissingFontExtEndsTheCommandNamingIt) {
  // Twenty parallel adds keep twenty positions.
  const auto add = [&](int p) { return kit.Run({"selection", "add", "--at", std::to_string(p + 1), "1"}).exit; };
  EXPECT_EQ(test::RunInChildren(20, add), 0);
  std::map<int, std::string> used;
  for (int p = 1; p <= 20; ++p) used[p] = Padded("Western one") + "\t" + She("west1");
  Expect({{{"selection", "show"}, 0, Shown(used), ""}});

  ASSERT_TRUE(::unlink(kit.profile.c_str()) == 0 && MakeFolders(kit.profile));  // a folder where the profile should be
  const std::string refused = "corvelle-cli: cannot read " + kit.profile + ": not a regular file\n";
  // set-com writes its command into a file here, so that a run that ignored the profile's error
  // would succeed.
  Expect({{{"selection", "show"}, 1, "", refused}, {{"selection", "clear"}, 1, "", refused},
          {{"catalogue"}, 1, "", refused}, {{"build"}, 1, "", refused},
          {{"set-com", "--port", "FILE", "--output", dir.File("setcom.out"), "--speed", "0", "--parity", "0", "--data-bits",
            "1", "--stop-bits", "0"}, 1, "", refused}});
  EXPECT_TRUE(std::filesystem::is_directory(kit.profile));
  EXPECT_FALSE(test::FileExists(dir.File("setcom.out")));

  // No FontExt at all is an error; an empty one is an empty catalogue.
  kit.program = dir.File("bare");
  ASSERT_TRUE(MakeFolders(kit.program));
  Expect({{{"catalogue", "--codepage", "2"}, 1, "", "corvelle-cli: the program folder " + kit.program + " has no FontExt folder\n"}});
  ASSERT_TRUE(MakeFolders(kit.program + "/FontExt"));
  Expect({{{"catalogue", "--codepage", "2"}, 0, "", ""}});
}

// A link to a file keeps pointing at the replaced file; one that points nowhere is replaced by the
// saved file, and nothing is created where it pointed.
TEST_F(CliTest, AKvfSavedThroughALinkKeepsTheLinkButNeverFollowsADanglingOne) {
  namespace fs = std::filesystem;
  const std::string real = dir.Write("kept/real.kvf", "old"), nowhere = dir.File("elsewhere/planted.kvf");
  const std::string link = dir.File("link.kvf"), dangling = dir.File("dangling.kvf");
  ASSERT_TRUE(MakeFolders(dir.File("elsewhere")) && ::symlink(real.c_str(), link.c_str()) == 0 &&
              ::symlink(nowhere.c_str(), dangling.c_str()) == 0);
  Expect({{{"selection", "save", link}, 0, "", ""}, {{"selection", "save", dangling}, 0, "", ""}});
  EXPECT_TRUE(fs::is_symlink(fs::symlink_status(link)) && fs::is_regular_file(fs::symlink_status(dangling)));
  EXPECT_EQ(test::ReadFile(real).substr(0, 5) + test::ReadFile(dangling).substr(0, 5), "***\r\n***\r\n");
  EXPECT_FALSE(fs::exists(fs::symlink_status(nowhere)));
}

}  // namespace
}  // namespace corvelle
