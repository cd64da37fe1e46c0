// SPDX-License-Identifier: MIT
// "Download" from the window with the window's own Host on a fake clock (the printer's pauses pass
// at once) and the real progress window, into an output file: completed, with the countdown, the
// final wait and the closing message, or stopped; attempts that end early, and a history that
// cannot be written.
#include <sys/stat.h>

#include "AppTesting.h"
#include "FakeClockHost.h"
#include "base/History.h"
#include "base/Sha256.h"
#include "fontset/FontSetBuilder.h"

namespace corvelle {
namespace {

using namespace layouts;

// A program folder with the sample fonts and a profile whose stored selection is the first
// `fonts` fonts of "All codepages" and whose port is `port`; its main window downloads with the
// window's own Host on a fake clock, into `output` when the port is FILE. `shown` collects each message box's text, marked when a progress window was still up.
struct DownloadWindow {
  DownloadWindow(size_t fonts, const PortSettings& port) {
    std::filesystem::create_directory_symlink(std::string(CORVELLE_BIN_DIR) + "/FontExt", folder.File("FontExt"));
    const FontCatalogue catalogue = LoadCatalogue(folder.Path(), 4);
    FontSelection selection;
    for (size_t i = 0; i < fonts && i < catalogue.size(); ++i) {
      selection[i] = {catalogue[i].listText, FontPathOf(folder.Path(), catalogue[i])};
    }
    StoreSelectionToProfile(selection, profile);
    StorePortSettings(profile, port);
    host.SetSaveDialogFunction([this](const SaveDialogSpec&) { return std::optional(QString::fromStdString(output)); });
    host.SetMessageBoxFunction([this](const MessageBoxRequest& request) {
      shown.push_back(request.text.toStdString() + (host.CurrentProgress() ? " over the progress window" : ""));
      return QMessageBox::Ok;
    });
  }
  // The main window on the profile as it is now.
  CMainDlg& Open() {
    window = std::make_unique<CMainDlg>(MainDlgContext{host, profile, folder.Path(), ProgramPrinterActions(profile), {}, {}, {}, {}});
    host.SetMainWindow(window.get());
    window->show();
    return *window;
  }
  // Clicks the button, then gives a plain message the turn it waits for its detail.
  void Press(int id) {
    window->Button(id)->click();
    QApplication::processEvents();
  }
  std::string Image() const { return test::ReadFile(DefaultFontSetPath(folder.Path())); }

  test::TempDir folder;
  Profile profile{folder.File("corvelle.ini")};
  test::FakeClockHost host;
  std::string output = folder.File("printer.out");
  std::vector<std::string> shown;
  std::unique_ptr<CMainDlg> window;
};

DownloadRecord LastRecord() {
  const std::vector<DownloadRecord> records = ReadHistory(DefaultHistoryPath()).records;
  return records.empty() ? DownloadRecord{} : records.back();
}

}  // namespace

// Into an output file: the progress window counts each pause
// down in the bar and in words with STOP usable, tells the time the whole download still needs,
// counts the final wait down too, and is gone before the closing message, which the history's
// record follows.
TEST(WindowDownload, ACompletedDownloadCountsThePausesDownAndEndsWithTheClosingMessage) {
  DownloadWindow w(3, {.portName = "FILE"});
  w.Open();
  // In each second of a pause and of the final wait: the status line, the bar as "value/maximum"
  // and whether STOP can be pressed; the time the whole download still needs, once per change.
  std::vector<std::string> waits, timesLeft;
  w.host.onTick = [&] {
    CProgressDlg* progress = w.host.CurrentProgress();
    if (progress == nullptr) return;
    const std::string status = progress->StatusLine()->text().toStdString();
    if (status.starts_with("Waiting for the printer") || status.starts_with(LoadStr(IDS_END_OF_PROCESS))) {
      waits.push_back(status + " " + std::to_string(progress->ProgressBar()->value()) + "/" +
                      std::to_string(progress->ProgressBar()->maximum()) +
                      (progress->StopButton()->isEnabled() ? "" : " without STOP"));
    }
    const std::string left = progress->TimeLeftLine()->text().toStdString();
    if (timesLeft.empty() || timesLeft.back() != left) timesLeft.push_back(left);
  };
  w.Press(IDC_DOWNLOAD);

  EXPECT_EQ(w.shown, std::vector<std::string>{std::string(LoadStr(IDS_FONTS_STORED))});
  // Every open of the file kind starts the file again: the last one leaves the image.
  EXPECT_EQ(test::ReadFile(w.output), w.Image());
  // Each pause (and the final wait) empties the bar over its own length, a second at a time.
  std::vector<std::string> countdown;
  for (const std::string& wait : {std::string("Waiting for the printer:"), std::string(LoadStr(IDS_END_OF_PROCESS))})
    for (int s = 11; s >= 1; --s) countdown.push_back(wait + " " + std::to_string(s) + " s " + std::to_string(s) + "/11");
  EXPECT_EQ(waits, countdown);
  // The whole download's time: both waits at first, then the final wait alone, down to its end.
  ASSERT_GE(timesLeft.size(), 3u);
  EXPECT_EQ(timesLeft[1] + "|" + timesLeft.back(), "about 22 s left|about 1 s left");
  EXPECT_EQ(w.host.CurrentProgress(), nullptr);
  const DownloadRecord r = LastRecord();
  EXPECT_EQ(std::tie(r.program, r.port, r.target, r.image, r.result, r.sha256),
            std::tuple("corvelle", "FILE", w.output, "FontSet.SHC", "ok", Sha256Hex(test::ReadFile(w.output))));

  // STOP once the whole image is sent ends the final wait: no closing message, but word that the
  // image went out, recorded as a completed download; STOP earlier is recorded as stopped, with
  // the words the window says.
  const struct { std::string status, said, result; } stops[] = {
      {std::string(LoadStr(IDS_END_OF_PROCESS)) + " 8 s", "The whole font set was sent; the wait for the printer was stopped.", "ok"},
      {"Waiting for the printer: 5 s", "Download stopped.", "stopped"}};
  for (const auto& stop : stops) {
    SCOPED_TRACE(stop.status);
    w.shown.clear();
    std::int64_t stoppedAt = -1;
    w.host.onTick = [&] {
      CProgressDlg* progress = w.host.CurrentProgress();
      if (progress == nullptr || stoppedAt >= 0 || progress->StatusLine()->text().toStdString() != stop.status) return;
      stoppedAt = w.host.Now();
      QTest::keyClick(progress, Qt::Key_Escape);
    };
    w.Press(IDC_DOWNLOAD);
    ASSERT_GE(stoppedAt, 0);
    EXPECT_LE(w.host.Now() - stoppedAt, 1000) << "the wait ended at STOP";
    EXPECT_EQ(std::pair(w.shown, LastRecord().result + " " + LastRecord().message),
              std::pair(std::vector<std::string>{stop.said}, stop.result + " " + stop.said));
    EXPECT_TRUE(stop.result != "ok" || test::ReadFile(w.output) == w.Image()) << "the whole image was sent";
  }
}

// Attempts that end before anything is sent are in the history too, with the words the window
// said: an unknown port name (nothing built) and a build whose font files are missing, which
// "Create file to download" says too.
TEST(WindowDownload, AttemptsEndingAtThePortNameOrTheBuildAreRecorded) {
  DownloadWindow w(3, {.portName = "PRN"});
  w.Open();
  w.Press(IDC_DOWNLOAD);
  EXPECT_EQ(w.shown, std::vector<std::string>{UnknownPortText("PRN")});
  EXPECT_FALSE(std::filesystem::exists(DefaultFontSetPath(w.folder.Path()))) << "nothing was built";
  DownloadRecord record = LastRecord();
  EXPECT_EQ(std::tie(record.program, record.port, record.result, record.message), std::tie("corvelle", "PRN", "failed", w.shown[0]));

  StorePortSettings(w.profile, {.portName = "FILE"});
  w.Open();
  std::filesystem::remove(w.folder.File("FontExt"));  // the fonts' fragment files are gone
  w.shown.clear();
  w.Press(IDC_DOWNLOAD);
  ASSERT_EQ(w.shown.size(), 1u);
  record = LastRecord();
  EXPECT_EQ(std::tie(record.port, record.result, record.message, record.bytes), std::tuple("FILE", "failed", w.shown[0], std::int64_t{0}));
  w.Press(IDC_CREATE_FILE);
  EXPECT_EQ(w.shown, std::vector<std::string>(2, w.shown[0]));
}

// A history folder others may write to is refused: the download still completes, and the window
// says so once, after the closing message, however many downloads follow.
TEST(WindowDownload, AnUnwritableHistoryIsSaidOnceAndFailsNothing) {
  DownloadWindow w(1, {.portName = "FILE"});
  const std::string state = w.folder.File("state");
  ASSERT_TRUE(std::filesystem::create_directories(state + "/corvelle"));
  ::chmod((state + "/corvelle").c_str(), 0777);
  const std::string saved = std::getenv("XDG_STATE_HOME");
  ::setenv("XDG_STATE_HOME", state.c_str(), 1);
  w.Open();  // the window takes its history's place as it is made
  ::setenv("XDG_STATE_HOME", saved.c_str(), 1);
  w.Press(IDC_DOWNLOAD);
  w.Press(IDC_DOWNLOAD);
  const std::string stored(LoadStr(IDS_FONTS_STORED));
  ASSERT_EQ(w.shown.size(), 3u);
  EXPECT_EQ(w.shown[0] + "|" + w.shown[2], stored + "|" + stored) << "both downloads complete";
  EXPECT_TRUE(w.shown[1].starts_with("The download history cannot be written: refusing folder " + state + "/corvelle")) << w.shown[1];
}

}  // namespace corvelle
