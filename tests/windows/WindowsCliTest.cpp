// SPDX-License-Identifier: MIT
// corvelle-cli.exe run as the built program under Wine: a selection saved to a .kvf file and
// loaded back under Windows paths keeps its fonts, and a profile written in the ANSI code page
// names its fonts. Serving several printers: each gets the framed image on connections of its
// own, a closed port fails alone with the refusal's Winsock number, and Ctrl-C stops every one
// at once (usb/usb-sigint-test.sh stops a single download the same way).
// Over USB, beside the stand-in FTD2XX.dll: the calls in order with the kind's values and, across
// them, byte for byte the framed image, under XOFF from the printer; an open the library refuses
// and a short write are failures, never success. With no library beside it (one in the current
// folder does not count) or an incomplete one: opening error #02 with the reason, and no call made.
#include <winsock2.h>
#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "CliProcess.h"
#include "support/LoopbackPrinter.h"

namespace corvelle {
namespace {

using test::HasSubstr;
using test::ReadFile;
using test::RecordingPrinter;

using WindowsCli = test::CliFolders;
using WindowsFleetCli = test::CliFolders;

TEST_F(WindowsCli, ASelectionSavedToAKvfFileLoadsBackIntoAnotherProfileUnderWindowsPaths) {
  const std::string kvf = dir.File("saved sets\\one.kvf");
  ASSERT_TRUE(MakeFolders(dir.File("saved sets")));
  ASSERT_EQ(Run({"selection", "save", kvf}).code, 0);
  EXPECT_THAT(ReadFile(kvf), HasSubstr(program + "\\FontExt\\f1.she"));
  profile = Profile(dir.File("other.ini"));
  ASSERT_EQ(Run({"selection", "load", kvf}).code, 0);
  // Run saves the profile object first: read back what the load stored.
  profile = Profile(dir.File("other.ini"));
  const test::CliRun run = Run({"selection", "show"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_THAT(run.out + run.err, HasSubstr(program + "\\FontExt\\f1.she")) << "the font is read back in this FontExt";
}

// The program Corvelle replaces wrote its profile in the ANSI code page: a font path with accents,
// in cp1252, names the same font as its UTF-8 spelling does.
TEST_F(WindowsCli, AProfileWrittenInTheAnsiCodePageStillNamesItsFonts) {
  program = dir.File("Polic\xC3\xA9");
  std::string stored = test::WriteFont(program, "Caf\xC3\xA9", std::string(100, 'h'), std::string(3000, 'd'));
  for (std::size_t accent; (accent = stored.find("\xC3\xA9")) != std::string::npos;) stored.replace(accent, 2, "\xE9");
  ASSERT_EQ(stored, program.substr(0, program.size() - 2) + "\xE9\\FontExt\\Caf\xE9.she");
  profile.WriteString("FontsAggiuntivi", "Font001", stored);
  Build();  // the font's fragments are in the image
}

TEST_F(WindowsFleetCli, EachServedPrinterGetsExactlyTheFramedImageAndAClosedPortFailsAlone) {
  const test::BuiltImage built = Build();
  RecordingPrinter one, two;
  ASSERT_TRUE(one.Port() && two.Port());
  const std::string closed = "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort());
  const test::CliRun run = Run({"download", "--ip", one.Target(), "--ip", closed, "--ip", two.Target()});
  EXPECT_EQ(run.code, 1) << run.err;
  // The result lines in the order given, the failed one with the printer's last message.
  EXPECT_THAT(run.out, ::testing::MatchesRegex(one.Target() + "\tok\t\r\n" + closed + "\tfailed\t.+\r\n" +
                                               two.Target() + "\tok\t\r\n"));
  // Its messages on stderr under its name, the refusal with its Winsock number; standard error is
  // a text stream, so each line ends with CR LF.
  EXPECT_THAT(run.err, HasSubstr(closed + ": TPC/IP - Failed to connect.\r\n" + closed + ": Wait a moment and retry !\r\n" +
                                 closed + ": Error nr.  10061.\r\n"));
  // What each printer received: the announcement, then the built image, on connections of their own.
  for (const RecordingPrinter* printer : {&one, &two}) {
    EXPECT_EQ(printer->Received(), (std::vector<std::string>{built.announcement, built.image})) << printer->Target();
  }
}

TEST_F(WindowsFleetCli, CtrlCWhilePrintersPauseStopsEveryOneAtOnce) {
  RecordingPrinter one, two, waiting;
  ASSERT_TRUE(one.Port() && two.Port() && waiting.Port());
  const test::CliRun run =
      Run({"download", "--jobs", "2", "--ip", one.Target(), "--ip", two.Target(), "--ip", waiting.Target()},
          {.ctrlCWhen = [&] { return !one.Received().empty() && !two.Received().empty(); }});
  if (!run.eventSent) GTEST_SKIP() << "this Wine cannot attach to the program's console to send Ctrl-C";
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_LT(run.secondsAfterEvent, 2.0) << "every wait ends on STOP";
  std::string stopped;
  for (const RecordingPrinter* printer : {&one, &two, &waiting}) stopped += printer->Target() + "\tstopped\tDownload stopped.\r\n";
  EXPECT_EQ(run.out, stopped);
  EXPECT_EQ(waiting.Accepted(), 0) << "a printer not started is never contacted";
}

using Calls = std::vector<std::string>;

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
    said = run.out + run.err;
    std::erase(said, '\r');  // the console's CR LF as LF
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
