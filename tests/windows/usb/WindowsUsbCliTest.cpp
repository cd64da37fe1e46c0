// SPDX-License-Identifier: MIT
// corvelle-cli.exe downloading over USB under Wine. Beside the stand-in FTD2XX.dll: the calls in
// order with the kind's values and, across them, byte for byte the framed image, under XOFF
// from the printer; an open the library refuses and a short write are failures, never success.
// With no library beside it (one in the current folder does not count) or an incomplete one:
// opening error #02 with the reason, and no call made.
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "windows/CliProcess.h"

namespace corvelle {
namespace {

using Calls = std::vector<std::string>;
using test::HasSubstr;

const std::string kBesideStandin = CORVELLE_USB_DIR "/corvelle-cli.exe";
const std::string kBesideIncomplete = CORVELLE_USB_INCOMPLETE_DIR "/corvelle-cli.exe";
const std::string kFontsStored = "Fonts will be stored in printer when green led turns on again.";

// The calls with which the USB kind opens the bridge.
const Calls kOpened = {"FT_OpenEx \"Varnesi Bridge GN2\" 2 -> 0", "FT_ResetDevice -> 0",
                       "FT_SetTimeouts 3000 3000 -> 0", "FT_Purge 1 -> 0"};

class WindowsUsbCli : public test::CliFolders {
 protected:
  WindowsUsbCli() { Steer("LOG", log.c_str()); }
  ~WindowsUsbCli() override {
    for (const char* name : {"LOG", "OPEN", "WRITE_LIMIT", "REPLY", "XON_AFTER"}) Steer(name, nullptr);
  }
  // The stand-in's steering variable CORVELLE_D2XX_<name>, for this process and those it starts.
  static void Steer(const std::string& name, const char* value) {
    ::SetEnvironmentVariableA(("CORVELLE_D2XX_" + name).c_str(), value);
  }
  // `download -q --port USB` by the copy of the program beside the stand-in; its exit status,
  // with what it said in `said`.
  int Download(const test::RunHow& how = {.exe = kBesideStandin}) {
    const test::CliRun run = Run({"download", "-q", "--port", "USB"}, how);
    said = run.Said();
    return run.code;
  }
  // The stand-in's record of calls, and the same in opens (from each FT_OpenEx on).
  Calls AllCalls() const {
    Calls all;
    std::istringstream in(test::ReadFile(log));
    for (std::string line; std::getline(in, line);) all.push_back(line);
    return all;
  }
  std::vector<Calls> Opens() const {
    std::vector<Calls> opens;
    for (const std::string& call : AllCalls()) {
      if (opens.empty() || call.starts_with("FT_OpenEx ")) opens.emplace_back();
      opens.back().push_back(call);
    }
    return opens;
  }
  // Every byte the write calls took, in order.
  std::string Written() const { return test::ReadFile(log + ".bytes"); }

  std::string log = dir.File("d2xx-calls.log");
  std::string said;
};

TEST_F(WindowsUsbCli, ADownloadUnderXoffSendsTheFramedImageByteForByteInTheKindsCalls) {
  const test::BuiltImage built = Build();
  // Each open finds XOFF waiting; the printer sends XON at its fourth queue-status call.
  Steer("REPLY", "13");
  Steer("XON_AFTER", "4");
  ASSERT_EQ(Download(), 0) << said;
  EXPECT_THAT(said, HasSubstr(kFontsStored));
  EXPECT_TRUE(Written() == built.announcement + built.image) << "the bytes on the bridge differ";
  const std::vector<Calls> opens = Opens();
  ASSERT_EQ(opens.size(), 2u) << "the announcement, then the image";
  for (const Calls& open : opens) {
    ASSERT_GE(open.size(), 12u);
    EXPECT_EQ(Calls(open.begin(), open.begin() + 4), kOpened);
    EXPECT_EQ(Calls(open.begin() + 4, open.begin() + 10),
              (Calls{"FT_GetQueueStatus -> 0 1", "FT_Read 1 -> 0 13", "FT_GetQueueStatus -> 0 0",
                     "FT_GetQueueStatus -> 0 0", "FT_GetQueueStatus -> 0 1", "FT_Read 1 -> 0 11"}));
    EXPECT_EQ(open.back(), "FT_Close -> 0");
  }
}

TEST_F(WindowsUsbCli, ALibraryThatRefusesTheOpenOrTakesPartOfAWriteFailsTheDownload) {
  const std::string announcement = Build().announcement;
  ASSERT_GT(announcement.size(), 5u);
  Steer("OPEN", "3");
  EXPECT_EQ(Download(), 1) << said;
  EXPECT_THAT(said, HasSubstr("USB device opening error #03\n"));
  EXPECT_EQ(AllCalls(), Calls{"FT_OpenEx \"Varnesi Bridge GN2\" 2 -> 3"});

  for (const std::string& file : {log, log + ".bytes"}) ::DeleteFileW(win::Widen(file).c_str());
  Steer("OPEN", nullptr);
  // The library answers success but takes only 5 bytes: the download must not go on as if sent.
  Steer("WRITE_LIMIT", "5");
  const std::string size = std::to_string(announcement.size());
  EXPECT_EQ(Download(), 1) << said;
  EXPECT_THAT(said, HasSubstr("USB device write error #00\n5 of " + size + " bytes were sent.\n"));
  EXPECT_THAT(said, ::testing::Not(HasSubstr(kFontsStored)));
  Calls expected = kOpened;
  expected.insert(expected.end(), {"FT_GetQueueStatus -> 0 0", "FT_Write " + size + " -> 0 5", "FT_Purge 3 -> 0",
                                   "FT_Close -> 0"});
  EXPECT_EQ(AllCalls(), expected);
  EXPECT_EQ(Written(), announcement.substr(0, 5));
}

TEST_F(WindowsUsbCli, AMissingOrIncompleteLibraryIsOpeningError02WithTheReasonAndNoCall) {
  // The stand-in in the current folder is not the program's: it is never loaded.
  EXPECT_EQ(Download({.cwd = CORVELLE_USB_DIR}), 1) << said;
  EXPECT_THAT(said, HasSubstr("USB device opening error #02\nThe D2XX driver library (FTD2XX.dll) is not installed.\n"));
  EXPECT_EQ(Download({.exe = kBesideIncomplete}), 1) << said;
  EXPECT_THAT(said, HasSubstr("USB device opening error #02\nThe installed D2XX driver library (FTD2XX.dll) lacks FT_Read.\n"));
  EXPECT_EQ(AllCalls(), Calls{});
}

}  // namespace
}  // namespace corvelle
