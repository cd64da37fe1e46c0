// SPDX-License-Identifier: MIT
// "Download" from the window with the window's own Host on a fake clock (the printer's pauses pass
// at once) and the real progress window: to kerv-printer-sim over TCP on loopback, where STOP in
// the middle of the first area ends the transfer and the window's buttons come back; and into an
// output file, completed, with the countdown, the final wait and the closing message.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

#include <QAbstractButton>
#include <QApplication>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "FakeClockHost.h"
#include "LoopbackActions.h"

#include "app/MainDlg.h"
#include "app/ProgressDlg.h"
#include "base/History.h"
#include "base/Profile.h"
#include "base/Sha256.h"
#include "catalogue/SelectionProfile.h"
#include "fontset/FontSetBuilder.h"
#include "resources/Layouts.h"
#include "resources/Strings.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

// A program folder with the sample fonts and a profile whose stored selection is the first
// `fonts` fonts of "All codepages" (30 make an image of two areas).
struct ProgramFolder {
  explicit ProgramFolder(size_t fonts) {
    std::filesystem::create_directory_symlink(std::string(CORVELLE_BIN_DIR) + "/FontExt", folder.File("FontExt"));
    const FontCatalogue catalogue = LoadCatalogue(folder.Path(), 4);
    FontSelection selection;
    for (size_t i = 0; i < fonts && i < catalogue.size(); ++i) {
      selection[i] = {catalogue[i].listText, FontPathOf(folder.Path(), catalogue[i])};
    }
    StoreSelectionToProfile(selection, profile);
  }
  test::TempDir folder;
  Profile profile{folder.File("corvelle.ini")};
};

// The main window of a three-font program folder downloading into `output` through the FILE
// port; `shown` collects each message box's text, marked when a progress window was still up.
struct FileDownloadWindow {
  FileDownloadWindow() {
    host.SetSaveDialogFunction([this](const SaveDialogSpec&) { return std::optional(QString::fromStdString(output)); });
    host.SetMessageBoxFunction([this](const MessageBoxRequest& request) {
      shown.push_back(request.text.toStdString() + (host.CurrentProgress() ? " over the progress window" : ""));
      return QMessageBox::Ok;
    });
    host.SetMainWindow(&window);
  }
  ProgramFolder program{3};
  // Stored before the window reads the profile.
  bool filePort = (StorePortSettings(program.profile, {.portName = "FILE"}), true);
  test::FakeClockHost host;
  std::string output = program.folder.File("printer.out");
  std::vector<std::string> shown;
  CMainDlg window{MainDlgContext{host, program.profile, program.folder.Path(), ProgramPrinterActions(program.profile),
                                 {}, {}, {}, {}}};
};

}  // namespace

TEST(WindowDownload, StopInTheFirstAreaEndsItAndGivesTheButtonsBack) {
  test::SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  ProgramFolder program(30);
  const test::TempDir& folder = program.folder;
  Profile& profile = program.profile;
  StorePortSettings(profile, {.portName = "TCP/IP", .ipAddress = "127.0.0.1", .ipPort = sim.Port()});

  test::FakeClockHost host;
  std::vector<std::string> shown;  // with whether a progress window was still there
  host.SetMessageBoxFunction([&](const MessageBoxRequest& request) {
    shown.push_back(request.text.toStdString() + (host.CurrentProgress() ? " over the progress window" : ""));
    return QMessageBox::Ok;
  });
  CMainDlg window(MainDlgContext{host, profile, folder.Path(), test::LoopbackActions(profile), {}, {}, {}, {}});
  host.SetMainWindow(&window);
  window.show();
  // The progress window is the main window's child; only the main window's own buttons count.
  const auto enabledButtons = [&window] {
    const auto all = window.findChildren<QAbstractButton*>();
    return std::count_if(all.begin(), all.end(), [&](auto* b) { return b->window() == &window && b->isEnabled(); });
  };
  const int buttons = enabledButtons();
  int stoppedAt = -1;
  host.onTick = [&] {
    CProgressDlg* progress = host.CurrentProgress();
    if (stoppedAt >= 0 || progress == nullptr || progress->ProgressBar()->value() < 20) return;
    stoppedAt = progress->ProgressBar()->value();
    progress->StopButton()->click();
  };
  window.Button(layouts::IDC_DOWNLOAD)->click();

  ASSERT_GE(stoppedAt, 20);
  QApplication::processEvents();  // a plain message waits a turn for its detail
  // Neither the closing message nor an error: the stop, said as corvelle-cli says it.
  EXPECT_EQ(shown, std::vector<std::string>{"Download stopped."});
  EXPECT_EQ(enabledButtons(), buttons);
  EXPECT_EQ(host.CurrentProgress(), nullptr);
  EXPECT_EQ(test::EventNumber(sim.Next("announcement"), "length"), 0x150000);  // the first of two areas
  const auto received = sim.Next("area_received");
  EXPECT_FALSE(test::EventFlag(received, "complete"));
  // Part of the area reached the printer. The bar counts what the printer took, and the printer
  // goes on taking what the socket holds until STOP closes it, so the bar's position at STOP is
  // no upper bound; what the socket still held then is discarded (the area is incomplete).
  EXPECT_GT(test::EventNumber(received, "bytes"), 0);
  sim.Stop();
  EXPECT_FALSE(sim.Next("announcement", 0));  // no second area
}

// A refused connection: the window keeps the port's message exactly and shows the address and the
// system's reason, which the command line prints on the line below, as the box's informative text.
TEST(WindowDownload, AFailedConnectShowsTheAddressAndReasonInTheSameBox) {
  // A loopback port that is bound but not listening refuses every connection.
  const int bound = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(bound, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ASSERT_EQ(::getsockname(bound, reinterpret_cast<sockaddr*>(&address), &length), 0);
  const int port = ntohs(address.sin_port);
  ProgramFolder program(1);
  StorePortSettings(program.profile, {.portName = "TCP/IP", .ipAddress = "127.0.0.1", .ipPort = port});
  test::FakeClockHost host;
  std::vector<MessageBoxRequest> shown;
  host.SetMessageBoxFunction([&](const MessageBoxRequest& request) {
    shown.push_back(request);
    return QMessageBox::Ok;
  });
  CMainDlg window(MainDlgContext{host, program.profile, program.folder.Path(), test::LoopbackActions(program.profile),
                                 {}, {}, {}, {}});
  host.SetMainWindow(&window);
  window.show();
  window.Button(layouts::IDC_DOWNLOAD)->click();
  QApplication::processEvents();
  ::close(bound);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].text.toStdString(), std::string(LoadStr(IDS_CONNECT_FAILED)) + " 111.") << "the text as before";
  EXPECT_EQ(shown[0].informativeText.toStdString(), "127.0.0.1 port " + std::to_string(port) + ": Connection refused");
  EXPECT_EQ(shown[0].parent, &window);
}

// Into an output file: the progress window stands centred over the main window, counts each pause
// down in the bar and in words with STOP usable, tells the time the whole download still needs,
// counts the final wait down too, and is gone before the closing message.
TEST(WindowDownload, ACompletedDownloadCountsThePausesDownAndEndsWithTheClosingMessage) {
  FileDownloadWindow w;
  auto& [program, filePort, host, output, shown, window] = w;
  window.move(200, 150);
  window.show();
  std::vector<std::string> statuses;  // each status line seen, once per change
  bool stopDuringFinalWait = true, stopDuringPause = false;
  std::vector<std::string> bars, timesLeft;  // "value/maximum" of the bar in each pause second; the time left
  QPoint offCentre(-1, -1);
  host.onTick = [&] {
    CProgressDlg* progress = host.CurrentProgress();
    if (progress == nullptr) return;
    offCentre = progress->frameGeometry().center() - window.frameGeometry().center();
    const std::string status = progress->StatusLine()->text().toStdString();
    if (statuses.empty() || statuses.back() != status) statuses.push_back(status);
    const bool finalWait = status.starts_with(LoadStr(IDS_END_OF_PROCESS));
    if (status.starts_with("Waiting for the printer") || finalWait) {
      stopDuringPause |= progress->StopButton()->isEnabled();
      bars.push_back(std::to_string(progress->ProgressBar()->value()) + "/" +
                     std::to_string(progress->ProgressBar()->maximum()));
    }
    if (finalWait) stopDuringFinalWait &= progress->StopButton()->isEnabled();
    const std::string left = progress->TimeLeftLine()->text().toStdString();
    if (timesLeft.empty() || timesLeft.back() != left) timesLeft.push_back(left);
  };
  window.Button(layouts::IDC_DOWNLOAD)->click();

  EXPECT_EQ(shown, std::vector<std::string>{std::string(LoadStr(IDS_FONTS_STORED))});
  // Every open of the file kind starts the file again: the last one leaves the image.
  EXPECT_EQ(test::ReadFile(output), test::ReadFile(DefaultFontSetPath(program.folder.Path())));
  EXPECT_LE(std::abs(offCentre.x()) + std::abs(offCentre.y()), 2) << "centred over the main window";
  const auto seen = [&statuses](const std::string& status) {
    return std::find(statuses.begin(), statuses.end(), status) != statuses.end();
  };
  EXPECT_TRUE(seen("Waiting for the printer: 11 s") && seen("Waiting for the printer: 1 s"));
  EXPECT_FALSE(seen("Waiting for the printer: 12 s") || seen("Waiting for the printer: 0 s"));
  EXPECT_TRUE(stopDuringPause);
  // Each pause (and the final wait) empties the bar over its own length, a second at a time.
  std::vector<std::string> countdown;
  for (int second = 11; second >= 1; --second) countdown.push_back(std::to_string(second) + "/11");
  ASSERT_EQ(bars.size(), 2 * countdown.size());
  EXPECT_TRUE(std::equal(countdown.begin(), countdown.end(), bars.begin()));
  EXPECT_TRUE(std::equal(countdown.begin(), countdown.end(), bars.begin() + 11));
  EXPECT_TRUE(seen(std::string(LoadStr(IDS_END_OF_PROCESS)) + " 3 s"));
  EXPECT_TRUE(stopDuringFinalWait) << "STOP can end the final wait";
  // The whole download's time: both waits at first, then the final wait alone, down to its end.
  ASSERT_GE(timesLeft.size(), 3u);
  EXPECT_EQ(timesLeft[1], "about 22 s left");
  EXPECT_EQ(timesLeft.back(), "about 1 s left");
  EXPECT_NE(std::find(timesLeft.begin(), timesLeft.end(), "about 11 s left"), timesLeft.end());
  EXPECT_EQ(host.CurrentProgress(), nullptr);

  // The window's download is in the history, as corvelle-cli's are.
  const std::vector<DownloadRecord> records = ReadHistory(DefaultHistoryPath()).records;
  ASSERT_FALSE(records.empty());
  const DownloadRecord& r = records.back();
  EXPECT_EQ(std::tie(r.program, r.port, r.target, r.image, r.result),
            std::tie("corvelle", "FILE", output, "FontSet.SHC", "ok"));
  EXPECT_EQ(r.sha256, Sha256Hex(test::ReadFile(output)));
}

// STOP once the whole image is sent ends the final wait: no closing message, but word that the
// image went out, recorded as a completed download; STOP earlier is recorded as stopped, with the
// words the window says.
TEST(WindowDownload, StopInTheFinalWaitSaysTheImageWasSentAndEarlierStopsAreRecorded) {
  FileDownloadWindow w;
  auto& [program, filePort, host, output, shown, window] = w;
  window.show();
  std::string stopWhen;  // the status line at which STOP is pressed
  std::int64_t stoppedAt = -1;
  host.onTick = [&] {
    CProgressDlg* progress = host.CurrentProgress();
    if (progress == nullptr || stoppedAt >= 0 || progress->StatusLine()->text().toStdString() != stopWhen) return;
    stoppedAt = host.Now();
    QTest::keyClick(progress, Qt::Key_Escape);
  };
  stopWhen = std::string(LoadStr(IDS_END_OF_PROCESS)) + " 8 s";
  window.Button(layouts::IDC_DOWNLOAD)->click();
  ASSERT_GE(stoppedAt, 0);
  EXPECT_EQ(shown, std::vector<std::string>{"The whole font set was sent; the wait for the printer was stopped."});
  EXPECT_EQ(test::ReadFile(output), test::ReadFile(DefaultFontSetPath(program.folder.Path())));
  EXPECT_LE(host.Now() - stoppedAt, 1000) << "the wait ended at STOP";

  shown.clear();
  stoppedAt = -1;
  stopWhen = "Waiting for the printer: 5 s";
  window.Button(layouts::IDC_DOWNLOAD)->click();
  QApplication::processEvents();  // a plain message waits a turn for its detail
  ASSERT_GE(stoppedAt, 0);
  EXPECT_EQ(shown, std::vector<std::string>{"Download stopped."});

  const std::vector<DownloadRecord> records = ReadHistory(DefaultHistoryPath()).records;
  ASSERT_GE(records.size(), 2u);
  const DownloadRecord& sent = records[records.size() - 2];
  const DownloadRecord& stopped = records.back();
  EXPECT_EQ(std::tie(sent.result, sent.message),
            std::tie("ok", "The whole font set was sent; the wait for the printer was stopped."));
  EXPECT_EQ(std::tie(stopped.result, stopped.message), std::tie("stopped", "Download stopped."));
}

// Attempts that end before anything is sent are in the history too, with the words the window
// said: an unknown port name (nothing built) and a build whose font files are missing, which
// "Create file to download" says too.
TEST(WindowDownload, AttemptsEndingAtThePortNameOrTheBuildAreRecorded) {
  FileDownloadWindow w;
  auto& [program, filePort, host, output, shown, window] = w;
  StorePortSettings(program.profile, {.portName = "PRN"});
  CMainDlg unknownPort{MainDlgContext{host, program.profile, program.folder.Path(),
                                      ProgramPrinterActions(program.profile), {}, {}, {}, {}}};
  unknownPort.show();
  unknownPort.Button(layouts::IDC_DOWNLOAD)->click();
  QApplication::processEvents();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], UnknownPortText("PRN"));
  EXPECT_FALSE(std::filesystem::exists(DefaultFontSetPath(program.folder.Path()))) << "nothing was built";
  std::vector<DownloadRecord> records = ReadHistory(DefaultHistoryPath()).records;
  ASSERT_FALSE(records.empty());
  EXPECT_EQ(std::tie(records.back().program, records.back().port, records.back().result, records.back().message),
            std::tie("corvelle", "PRN", "failed", shown[0]));

  std::filesystem::remove(program.folder.File("FontExt"));  // the fonts' fragment files are gone
  shown.clear();
  window.show();
  window.Button(layouts::IDC_DOWNLOAD)->click();
  QApplication::processEvents();
  ASSERT_EQ(shown.size(), 1u);
  records = ReadHistory(DefaultHistoryPath()).records;
  EXPECT_EQ(std::tie(records.back().port, records.back().result, records.back().message),
            std::tie("FILE", "failed", shown[0]));
  EXPECT_EQ(records.back().bytes, 0);
  // "Create file to download" says the same build failure.
  window.Button(layouts::IDC_CREATE_FILE)->click();
  QApplication::processEvents();
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_EQ(shown[1], shown[0]);
}

// A history folder others may write to is refused: the download still completes, and the window
// says so once, after the closing message, however many downloads follow.
TEST(WindowDownload, AnUnwritableHistoryIsSaidOnceAndFailsNothing) {
  ProgramFolder program(1);
  StorePortSettings(program.profile, {.portName = "FILE"});
  const std::string state = program.folder.File("state");
  ASSERT_TRUE(std::filesystem::create_directories(state + "/corvelle"));
  ::chmod((state + "/corvelle").c_str(), 0777);
  const std::string saved = std::getenv("XDG_STATE_HOME");
  ::setenv("XDG_STATE_HOME", state.c_str(), 1);
  test::FakeClockHost host;
  const std::string output = program.folder.File("printer.out");
  host.SetSaveDialogFunction([&](const SaveDialogSpec&) { return std::optional(QString::fromStdString(output)); });
  std::vector<std::string> shown;
  host.SetMessageBoxFunction([&](const MessageBoxRequest& request) {
    shown.push_back(request.text.toStdString());
    return QMessageBox::Ok;
  });
  CMainDlg window(MainDlgContext{host, program.profile, program.folder.Path(), ProgramPrinterActions(program.profile),
                                 {}, {}, {}, {}});
  ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
  host.SetMainWindow(&window);
  window.show();
  window.Button(layouts::IDC_DOWNLOAD)->click();
  window.Button(layouts::IDC_DOWNLOAD)->click();
  const std::string stored(LoadStr(IDS_FONTS_STORED));
  ASSERT_EQ(shown.size(), 3u);
  EXPECT_EQ(shown[0], stored);
  EXPECT_EQ(shown[1].rfind("The download history cannot be written: refusing folder " + state + "/corvelle", 0), 0u)
      << shown[1];
  EXPECT_EQ(shown[2], stored);
  EXPECT_EQ(test::ReadFile(output), test::ReadFile(DefaultFontSetPath(program.folder.Path())));
}

}  // namespace corvelle
