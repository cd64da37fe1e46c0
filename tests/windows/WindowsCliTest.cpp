// SPDX-License-Identifier: MIT
// corvelle-cli.exe run as the built program under Wine: Ctrl-Break or Ctrl-C in the first pause
// of a FILE or TCP/IP download is STOP ("Download stopped.", exit 1, the image never opened or
// sent), a refused connection shows its Winsock number, a selection saved to a .kvf file and
// loaded back under Windows paths keeps its fonts, and a profile written in the ANSI code page
// names its fonts. Serving several printers: each gets the framed image on connections of its
// own, a closed port fails alone, and Ctrl-C stops every one at once.
#include <winsock2.h>
#include <windows.h>

#include <string>
#include <vector>

#include "CliProcess.h"
#include "support/LoopbackPrinter.h"

namespace corvelle {
namespace {

using test::ConsoleEvent;
using test::HasSubstr;
using test::ReadFile;
using test::RecordingPrinter;

class WindowsCli : public test::CliFolders {
 protected:
  std::string first = dir.File("first.out"), second = dir.File("second.out");
};
using WindowsFleetCli = WindowsCli;

TEST_F(WindowsCli, CtrlBreakOrCtrlCInTheFirstPauseIsStopAndTheImageIsNeverOpenedOrSent) {
  test::CliRun run = Run({"download", "--port", "FILE", "--output", first, "--output", second},
                         {.event = ConsoleEvent::CtrlBreak, .when = [this] { return !ReadFile(first).empty(); }});
  // Some Wine versions cannot send Ctrl-Break to a program without a console: that half is left out.
  const bool breakSent = run.eventSent;
  if (breakSent) {
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_THAT(run.err, HasSubstr("Download stopped."));
    EXPECT_FALSE(test::FileExists(second));
  }
  RecordingPrinter printer;
  run = Run({"download", "--port", "TCP/IP", "--ip", printer.Target()},
            {.event = ConsoleEvent::CtrlC, .when = [&printer] { return printer.Received().size() == 1; }});
  if (!run.eventSent) {
    if (!breakSent) GTEST_SKIP() << "this Wine can send neither Ctrl-Break nor Ctrl-C to the program";
    return;
  }
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_THAT(run.err, HasSubstr("Download stopped."));
  EXPECT_EQ(printer.Accepted(), 1) << "no connection after STOP";
}

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
          {.event = ConsoleEvent::CtrlC, .when = [&] { return !one.Received().empty() && !two.Received().empty(); }});
  if (!run.eventSent) GTEST_SKIP() << "this Wine cannot attach to the program's console to send Ctrl-C";
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_LT(run.secondsAfterEvent, 2.0) << "every wait ends on STOP";
  std::string stopped;
  for (const RecordingPrinter* printer : {&one, &two, &waiting}) stopped += printer->Target() + "\tstopped\tDownload stopped.\r\n";
  EXPECT_EQ(run.out, stopped);
  EXPECT_EQ(waiting.Accepted(), 0) << "a printer not started is never contacted";
}

}  // namespace
}  // namespace corvelle
