// SPDX-License-Identifier: MIT
// "Download" from the window to kerv-printer-sim over TCP on loopback, with the window's own Host
// on a fake clock (the printer's pauses pass at once) and the real progress window: STOP pressed
// in the middle of the first area ends the transfer, nothing more reaches the printer, and the
// window's buttons come back.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QProgressBar>
#include <QPushButton>
#include <algorithm>
#include <filesystem>

#include "FakeClockHost.h"
#include "app/MainDlg.h"
#include "app/ProgressDlg.h"
#include "base/Profile.h"
#include "catalogue/SelectionProfile.h"
#include "fontset/FontSetBuilder.h"
#include "resources/Layouts.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"

namespace corvelle {

TEST(WindowDownload, StopInTheFirstAreaEndsItAndGivesTheButtonsBack) {
  if (::geteuid() != 0) GTEST_SKIP() << "the TCP/IP port's echo test needs a raw ICMP socket (root) here";
  test::SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  const test::TempDir folder;
  std::filesystem::create_directory_symlink(std::string(CORVELLE_BIN_DIR) + "/FontExt", folder.File("FontExt"));
  Profile profile(folder.File("corvelle.ini"));
  // The first 30 fonts of "All codepages": an image of two areas.
  const FontCatalogue catalogue = LoadCatalogue(folder.Path(), 4);
  ASSERT_GE(catalogue.size(), 30u);
  FontSelection selection;
  for (size_t i = 0; i < 30; ++i) selection[i] = {catalogue[i].listText, FontPathOf(folder.Path(), catalogue[i])};
  StoreSelectionToProfile(selection, profile);
  StorePortSettings(profile, {.portName = "TCP/IP", .ipAddress = "127.0.0.1", .ipPort = sim.Port()});

  test::FakeClockHost host;
  host.SetMessageBoxFunction([&](const MessageBoxRequest& request) {
    ADD_FAILURE() << request.text.toStdString();  // neither the closing message nor an error
    return QMessageBox::Ok;
  });
  CMainDlg window(MainDlgContext{host, profile, folder.Path(), ProgramPrinterActions(profile), {}, {}, {}});
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
  EXPECT_EQ(enabledButtons(), buttons);
  EXPECT_EQ(host.CurrentProgress(), nullptr);
  EXPECT_EQ(test::EventNumber(sim.Next("announcement"), "length"), 0x150000);  // the first of two areas
  const auto received = sim.Next("area_received");
  EXPECT_FALSE(test::EventFlag(received, "complete"));
  // What reached the printer was sent before STOP: at most the position the bar showed then,
  // plus the one chunk under way.
  const long long total = static_cast<long long>(std::filesystem::file_size(DefaultFontSetPath(folder.Path())));
  EXPECT_GT(test::EventNumber(received, "bytes"), 0);
  EXPECT_LE(test::EventNumber(received, "bytes"), (stoppedAt + 1) * total / 100 + 512);
  sim.Stop();
  EXPECT_FALSE(sim.Next("announcement", 0));  // no second area
}

}  // namespace corvelle
