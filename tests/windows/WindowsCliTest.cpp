// SPDX-License-Identifier: MIT
// corvelle-cli.exe run as the built program under Wine: a FILE or TCP/IP download carries exactly
// the announcement the engine frames and the image the build makes, Ctrl-Break or Ctrl-C in the
// first pause is STOP ("Download stopped.", exit 1, the image never opened or sent), a refused
// connection shows its Winsock number, a selection saved to a .kvf file and loaded back under
// Windows paths keeps its fonts, a profile written in the ANSI code page names its fonts, the help
// texts say what applies on Windows, and ping answers on loopback.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliProcess.h"
#include "support/LoopbackPrinter.h"
#include "download/DownloadPlan.h"

namespace corvelle {
namespace {

using test::ConsoleEvent;
using test::ReadFile;

class WindowsCli : public test::CliFolders {
 protected:
  // The image `build` makes, and its one area's announcement.
  std::string Build(std::string& announcement) {
    const std::string image = dir.File("built.shc");
    const test::CliRun run = Run({"build", "--output", image});
    EXPECT_EQ(run.code, 0) << run.err;
    const std::string built = ReadFile(image);
    EXPECT_GT(built.size(), 3000u);
    const auto areas = SplitImage(static_cast<std::int64_t>(built.size()), DownloadForm::Current);
    EXPECT_EQ(areas.size(), 1u);
    announcement = areas.empty() ? "" : Announcement(areas[0]);
    return built;
  }
  std::vector<std::string> TcpDownload(const test::RecordingPrinter& printer) {
    return {"download", "--port", "TCP/IP", "--ip", printer.Target()};
  }
  std::string first = dir.File("first.out"), second = dir.File("second.out");
};

TEST_F(WindowsCli, FileAndTcpIpDownloadsCarryTheEngineFramedAnnouncementThenExactlyTheBuiltImage) {
  std::string announcement;
  const std::string built = Build(announcement);
  test::CliRun run = Run({"download", "-q", "--port", "FILE", "--output", first, "--output", second});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(ReadFile(first), announcement);
  EXPECT_TRUE(ReadFile(second) == built) << "the image on the port differs from the built one";

  test::RecordingPrinter printer;
  std::vector<std::string> args = TcpDownload(printer);
  args.push_back("-q");
  run = Run(args);
  ASSERT_EQ(run.code, 0) << run.err;
  const auto connections = printer.Received();
  ASSERT_EQ(connections.size(), 2u) << "one connection for the announcement, one for the image";
  EXPECT_EQ(connections[0], announcement);
  EXPECT_TRUE(connections[1] == built) << "the image on the connection differs from the built one";
}

TEST_F(WindowsCli, CtrlBreakOrCtrlCInTheFirstPauseIsStopAndTheImageIsNeverOpenedOrSent) {
  test::CliRun run = Run({"download", "--port", "FILE", "--output", first, "--output", second}, {}, {},
                         ConsoleEvent::CtrlBreak, [this] { return !ReadFile(first).empty(); });
  // Some Wine versions cannot send Ctrl-Break to a program without a console: that half is left out.
  const bool breakSent = run.eventSent;
  if (breakSent) {
    EXPECT_EQ(run.code, 1) << run.err;
    EXPECT_NE(run.err.find("Download stopped."), std::string::npos) << run.err;
    EXPECT_FALSE(test::FileExists(second));
  }

  test::RecordingPrinter printer;
  run = Run(TcpDownload(printer), {}, {}, ConsoleEvent::CtrlC, [&printer] { return printer.Received().size() == 1; });
  if (!run.eventSent) {
    if (!breakSent) GTEST_SKIP() << "this Wine can send neither Ctrl-Break nor Ctrl-C to the program";
    return;
  }
  EXPECT_EQ(run.code, 1) << run.err;
  EXPECT_NE(run.err.find("Download stopped."), std::string::npos) << run.err;
  EXPECT_EQ(printer.Accepted(), 1) << "no connection after STOP";
}

TEST_F(WindowsCli, ARefusedConnectionFailsWithTheConnectMessageAndItsWinsockNumber) {
  const std::string closed = "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort());
  const test::CliRun run = Run({"download", "-q", "--port", "TCP/IP", "--ip", closed});
  EXPECT_EQ(run.code, 1);
  // Standard error is a text stream: each line ends with CR LF.
  EXPECT_NE(run.err.find("TPC/IP - Failed to connect.\r\nWait a moment and retry !\r\nError nr.  10061.\r\n"),
            std::string::npos)
      << run.err;
}

TEST_F(WindowsCli, ASelectionSavedToAKvfFileLoadsBackIntoAnotherProfileUnderWindowsPaths) {
  const std::string kvf = dir.File("saved sets\\one.kvf");
  ASSERT_TRUE(MakeFolders(dir.File("saved sets")));
  test::CliRun run = Run({"selection", "save", kvf});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string saved = ReadFile(kvf);
  ASSERT_NE(saved.find(program + "\\FontExt\\f1.she"), std::string::npos) << saved;

  profile = Profile(dir.File("other.ini"));
  run = Run({"selection", "load", kvf});
  ASSERT_EQ(run.code, 0) << run.err;
  // Run saves the profile object first: read back what the load stored.
  profile = Profile(dir.File("other.ini"));
  run = Run({"selection", "show"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_NE((run.out + run.err).find(program + "\\FontExt\\f1.she"), std::string::npos)
      << "the font is read back in this FontExt:\n" << run.out << run.err;
}

// The program Corvelle replaces wrote its profile in the ANSI code page: a font path with accents,
// in cp1252, names the same font as its UTF-8 spelling does.
TEST_F(WindowsCli, AProfileWrittenInTheAnsiCodePageStillNamesItsFonts) {
  program = dir.File("Polic\xC3\xA9");
  ASSERT_TRUE(MakeFolders(program + "\\FontExt"));
  std::string stored = test::WriteFont(program, "Caf\xC3\xA9", std::string(100, 'h'), std::string(3000, 'd'));
  for (std::size_t accent; (accent = stored.find("\xC3\xA9")) != std::string::npos;) stored.replace(accent, 2, "\xE9");
  ASSERT_EQ(stored, program.substr(0, program.size() - 2) + "\xE9\\FontExt\\Caf\xE9.she");
  profile.WriteString("FontsAggiuntivi", "Font001", stored);
  const std::string image = dir.File("ansi.shc");
  const test::CliRun run = Run({"build", "--output", image});
  ASSERT_EQ(run.code, 0) << run.out << run.err;
  EXPECT_GT(ReadFile(image).size(), 3000u) << "the font's fragments are in the image";
}

TEST_F(WindowsCli, HelpTextsNameWindowsPortsStopKeysAndFoldersAndNoPosixOnes) {
  const test::CliRun download = Run({"download", "--help"});
  ASSERT_EQ(download.code, 0) << download.err;
  for (const char* posix : {"/dev/", "SIGTERM", "SIGHUP", "\"Devices\""}) {
    EXPECT_EQ(download.out.find(posix), std::string::npos) << posix << " in:\n" << download.out;
  }
  for (const char* windows : {"Ctrl-Break", "\\\\.\\COM3", "COM17"}) {
    EXPECT_NE(download.out.find(windows), std::string::npos) << windows << " not in:\n" << download.out;
  }
  const test::CliRun history = Run({"history", "--help"});
  EXPECT_NE(history.out.find("%LOCALAPPDATA%\\Corvelle\\downloads.jsonl"), std::string::npos) << history.out;
  EXPECT_EQ(history.out.find("XDG"), std::string::npos) << history.out;
}

TEST_F(WindowsCli, PingOfLoopbackAnswersWithItsTime) {
  const test::CliRun run = Run({"ping", "127.0.0.1"});
  ASSERT_EQ(run.code, 0) << run.err;
  // Standard output is a text stream: each line ends with CR LF. The second says what the port did.
  const std::string reply = run.out.substr(0, run.out.find('\n') + 1);
  EXPECT_EQ(reply.rfind("Reply from 127.0.0.1: time=", 0), 0u) << run.out;
  EXPECT_TRUE(reply.ends_with(" ms\r\n")) << run.out;
  EXPECT_EQ(run.out.find("Port 4001 ", reply.size()), reply.size()) << run.out;
  EXPECT_TRUE(run.out.ends_with("\r\n")) << run.out;
}

}  // namespace
}  // namespace corvelle
