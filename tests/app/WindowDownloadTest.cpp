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

#include "app/MainDlg.h"
#include "app/ProgressDlg.h"
#include "FakeClockHost.h"
#include "base/Profile.h"
#include "catalogue/SelectionProfile.h"
#include "resources/Layouts.h"
#include "fontset/FontSetBuilder.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

// The first 30 fonts of "All codepages" in the stored selection: an image of two areas.
void StoreFonts(Profile& profile, const std::string& programFolder) {
  const FontCatalogue catalogue = LoadCatalogue(programFolder, 4);
  FontSelection selection;
  for (size_t i = 0; i < catalogue.size() && i < 30; ++i) {
    selection[i] = {catalogue[i].listText, FontPathOf(programFolder, catalogue[i])};
  }
  StoreSelectionToProfile(selection, profile);
}

TEST(WindowDownload, StopInTheFirstAreaEndsItAndGivesTheButtonsBack) {
  if (::geteuid() != 0) GTEST_SKIP() << "the TCP/IP port's echo test needs a raw ICMP socket (root) here";
  test::SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());

  const test::TempDir folder;
  std::filesystem::create_directory_symlink(std::string(CORVELLE_BIN_DIR) + "/FontExt", folder.File("FontExt"));
  Profile profile(folder.File("corvelle.ini"));
  StoreFonts(profile, folder.Path());
  PortSettings port;
  port.portName = "TCP/IP";
  port.ipAddress = "127.0.0.1";
  port.ipPort = sim.Port();
  StorePortSettings(profile, port);

  test::FakeClockHost host;
  std::vector<QString> messages;
  host.SetMessageBoxFunction([&](const MessageBoxRequest& request) {
    messages.push_back(request.text);
    return QMessageBox::Ok;
  });
  CMainDlg window(MainDlgContext{host, profile, folder.Path(), ProgramPrinterActions(profile), {}, {}, {}});
  host.SetMainWindow(&window);
  window.show();

  int stoppedAt = -1;
  std::vector<QString> enabledDuring;
  host.onTick = [&] {
    CProgressDlg* progress = host.CurrentProgress();
    if (stoppedAt >= 0 || progress == nullptr || progress->ProgressBar()->value() < 20) return;
    stoppedAt = progress->ProgressBar()->value();
    for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
      // The progress window is the main window's child; only the main window's own buttons count.
      if (button->window() == &window && button->isEnabled()) enabledDuring.push_back(button->objectName());
    }
    progress->StopButton()->click();
  };
  window.Button(layouts::IDC_DOWNLOAD)->click();

  for (const QString& message : messages) ADD_FAILURE() << message.toStdString();
  ASSERT_GE(stoppedAt, 20);
  EXPECT_TRUE(enabledDuring.empty());
  EXPECT_EQ(host.CurrentProgress(), nullptr);  // the progress window is gone
  for (QAbstractButton* button : window.findChildren<QAbstractButton*>()) {
    EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
  }
  EXPECT_TRUE(messages.empty());  // neither the closing message nor an error

  const auto announcement = sim.Next("announcement");
  EXPECT_EQ(test::EventNumber(announcement, "area"), 1);
  const long long total = static_cast<long long>(std::filesystem::file_size(DefaultFontSetPath(folder.Path())));
  EXPECT_GT(total, 0x150000);
  EXPECT_EQ(test::EventNumber(announcement, "length"), 0x150000);
  const auto received = sim.Next("area_received");
  EXPECT_FALSE(test::EventFlag(received, "complete"));
  // What reached the printer was sent before STOP: at most the position the bar showed then,
  // plus the one chunk under way.
  EXPECT_GT(test::EventNumber(received, "bytes"), 0);
  EXPECT_LE(test::EventNumber(received, "bytes"), (stoppedAt + 1) * total / 100 + 512);
  sim.Stop();
  const auto& events = sim.Events();
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const QJsonObject& e) { return e.value("event").toString() == "announcement"; }),
            1);
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [](const QJsonObject& e) { return e.value("event").toString() == "connection_opened"; }),
            2);
}

}  // namespace
}  // namespace corvelle
