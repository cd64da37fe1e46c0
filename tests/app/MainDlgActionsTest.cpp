// The main window's actions: what "Download" and "Create file to download" build from and store,
// the buttons while a download runs, OK and the close box, settings files through the file
// dialogs, a profile that cannot be saved, the communication port dialog and the About box.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QRadioButton>
#include <QTimer>
#include <filesystem>

#include "MainWindowTesting.h"
#include "app/MainApp.h"
#include "catalogue/SettingsFile.h"
#include "resources/Strings.h"
#include "setup/CommPortDlg.h"

namespace corvelle {
namespace {

using namespace layouts;

class MainDlgActionsTest : public ::testing::Test, public test::MainWindowFixture {
 protected:
  // Puts catalogue font `row` at `position` through the window.
  void Place(int position, int row) {
    SelectPosition(position);
    SelectAvailable({row});
    Click(IDC_ADD);
  }
};

TEST_F(MainDlgActionsTest, DownloadBuildsFromTheStoredSelectionNotTheShownOne) {
  Open();
  Place(0, 0);
  Click(IDOK);  // stores Font A at position 0
  Open();
  Place(0, 1);  // shown: Font B, stored: Font A
  Click(IDC_DOWNLOAD);
  ASSERT_EQ(builds.size(), 1u);
  EXPECT_FALSE(builds[0].legacy);
  EXPECT_EQ(builds[0].outputPath, "");
  EXPECT_EQ(builds[0].stored[0].fontPath, FontPath("fa"));
  EXPECT_EQ(downloads, std::vector<bool>{false});
  // Download stores nothing itself.
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[0].fontPath, FontPath("fa"));
}

TEST_F(MainDlgActionsTest, TheGn1BoxChoosesTheLegacyBuilderAndDownload) {
  Open();
  window->LegacyBox()->click();
  Click(IDC_DOWNLOAD);
  ASSERT_EQ(builds.size(), 1u);
  EXPECT_TRUE(builds[0].legacy);
  EXPECT_EQ(downloads, std::vector<bool>{true});
}

TEST_F(MainDlgActionsTest, AFailedBuildDownloadsNothing) {
  Open();
  buildSucceeds = false;
  Click(IDC_DOWNLOAD);
  EXPECT_EQ(builds.size(), 1u);
  EXPECT_TRUE(downloads.empty());
}

TEST_F(MainDlgActionsTest, WhileADownloadRunsTheButtonsAreDisabledAndClosingIsIgnored) {
  Open();
  std::vector<QString> enabledDuring;
  bool visibleAfterEscape = false;
  duringDownload = [&] {
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
      if (button->isEnabled()) enabledDuring.push_back(button->objectName());
    }
    window->reject();
    window->accept();
    visibleAfterEscape = window->isVisible();
    window->OnDownload();  // a second download cannot start inside the first
  };
  Click(IDC_DOWNLOAD);
  EXPECT_TRUE(enabledDuring.empty());
  EXPECT_TRUE(visibleAfterEscape);
  EXPECT_EQ(downloads.size(), 1u);
  EXPECT_FALSE(window->OperationRunning());
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
  }
  EXPECT_TRUE(window->isVisible());
  EXPECT_FALSE(Stored().HasKey(kPortSection, "Codepage"));
}

TEST_F(MainDlgActionsTest, CreateFileStoresFirstAndProposesTheImageName) {
  Open();
  Place(3, 2);
  host.savePaths.push_back(std::nullopt);  // cancelled
  Click(IDC_CREATE_FILE);
  ASSERT_EQ(host.saveRequests.size(), 1u);
  EXPECT_EQ(host.saveRequests[0].suggestedName, "FontSet.SHC");
  EXPECT_EQ(host.saveRequests[0].defaultExtension, "shc");
  EXPECT_EQ(host.saveRequests[0].filter, "Fonts (*.shc) files | *.shc||");
  EXPECT_TRUE(host.saveRequests[0].overwritePrompt);
  EXPECT_TRUE(builds.empty());
  // Cancelled, the profile on disk holds the selection anyway.
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[3].fontPath, FontPath("fc"));
  EXPECT_FALSE(Stored().HasKey(kPortSection, "Codepage"));

  window->LegacyBox()->click();
  const std::string chosen = folder.File("out/my.shf");
  host.savePaths.push_back(chosen);
  Click(IDC_CREATE_FILE);
  ASSERT_EQ(host.saveRequests.size(), 2u);
  EXPECT_EQ(host.saveRequests[1].suggestedName, "FontSet.SHF");
  EXPECT_EQ(host.saveRequests[1].defaultExtension, "shf");
  EXPECT_EQ(host.saveRequests[1].filter, "Fonts (*.shc) files | *.shc||");
  ASSERT_EQ(builds.size(), 1u);
  EXPECT_TRUE(builds[0].legacy);
  EXPECT_EQ(builds[0].outputPath, chosen);
  EXPECT_TRUE(downloads.empty());
}

TEST_F(MainDlgActionsTest, TheProgramsBuilderAndDownloadWorkFromTheWindow) {
  // The sample fonts, seen from a program folder of the test's own; the printer is a file.
  std::filesystem::remove_all(folder.File("FontExt"));
  std::filesystem::create_directory_symlink(std::string(CORVELLE_BIN_DIR) + "/FontExt", folder.File("FontExt"));
  {
    Profile seed(profilePath);
    seed.WriteString(kPortSection, "Port", "FILE");
    ASSERT_TRUE(seed.Save());
  }
  programActions = true;
  Open();
  ASSERT_GT(window->AvailableList()->count(), 2);
  Place(0, 0);
  Place(1, 2);
  const std::string image = folder.File("my.shc");
  host.savePaths.push_back(image);
  Click(IDC_CREATE_FILE);
  ASSERT_TRUE(host.messages.empty()) << host.messages[0].text;
  const std::string built = test::ReadFile(image);
  EXPECT_GT(built.size(), 2064u);

  // Download rebuilds the same image from the stored selection and sends it, announced, to the
  // FILE port's outputs (one per open).
  host.savePaths = {folder.File("announce.out"), folder.File("area.out")};
  Click(IDC_DOWNLOAD);
  EXPECT_EQ(test::ReadFile(folder.File("announce.out")), "?Z:&" + std::to_string(built.size()) + "\n");
  EXPECT_TRUE(test::ReadFile(folder.File("area.out")) == built);
  ASSERT_FALSE(host.messages.empty());
  EXPECT_EQ(host.messages.back().text, LoadStr(IDS_FONTS_STORED));
  EXPECT_TRUE(host.progress.destroyed);
}

TEST_F(MainDlgActionsTest, OkStoresTheSelectionAndCodePage) {
  Open();
  Place(0, 5);
  window->CodePageRadio(0)->click();
  Click(IDOK);
  EXPECT_EQ(window->result(), QDialog::Accepted);
  EXPECT_FALSE(window->isVisible());
  const Profile stored = Stored();
  EXPECT_EQ(stored.GetInt(kPortSection, "Codepage", -1), 0);
  EXPECT_EQ(stored.GetString(kSelectionSection, "FontDialog001", ""), test::Padded("Font F"));
  EXPECT_EQ(stored.GetString(kSelectionSection, "Font001", ""), FontPath("ff"));
  EXPECT_TRUE(stored.HasKey(kSelectionSection, "Font112"));
  EXPECT_TRUE(host.messages.empty());
  // The next start shows what was stored.
  Open();
  EXPECT_EQ(window->CodePageChoice(), 0);
  EXPECT_EQ(window->Selection()[0].fontPath, FontPath("ff"));
}

TEST_F(MainDlgActionsTest, TheCloseBoxStoresNothing) {
  {
    Profile seed(profilePath);
    seed.WriteInt(kPortSection, "Codepage", 0);
    ASSERT_TRUE(seed.Save());
  }
  const std::string before = test::ReadFile(profilePath);
  Open();
  Place(0, 0);
  window->CodePageRadio(3)->click();
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->result(), QDialog::Rejected);
  EXPECT_EQ(test::ReadFile(profilePath), before);
}

TEST_F(MainDlgActionsTest, AProfileThatCannotBeSavedIsReported) {
  folder.Write("blocker", "a file where the profile's folder should be");
  profilePath = folder.File("blocker/corvelle.ini");
  Open();
  Click(IDOK);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text.rfind("The settings were not saved: ", 0), 0u) << host.messages[0].text;
  EXPECT_EQ(host.messages[0].style, MessageStyle::Plain);
}

TEST_F(MainDlgActionsTest, SettingsFilesGoThroughTheFileDialogs) {
  Open();
  Place(0, 0);
  Place(111, 3);
  const std::string path = folder.File("mine.kvf");
  host.savePaths.push_back(path);
  Click(IDC_SAVE_SETTINGS);
  ASSERT_EQ(host.saveRequests.size(), 1u);
  EXPECT_EQ(host.saveRequests[0].defaultExtension, "kvf");
  EXPECT_EQ(host.saveRequests[0].filter, "Font configuration (*.kvf) | *.kvf||");
  EXPECT_TRUE(host.saveRequests[0].overwritePrompt);
  const FontSelection saved = window->Selection();
  EXPECT_EQ(test::ReadFile(path), SerializeSettings(saved));

  Click(IDC_EMPTY_LIST);
  openPaths.push_back(std::nullopt);  // cancelled: nothing changes
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(window->Selection(), FontSelection{});
  openPaths.push_back(QString::fromStdString(path));
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(window->Selection(), saved);
  EXPECT_EQ(window->SelectedList()->item(111)->text(), QString::fromStdString(test::Padded("Font D")));
  ASSERT_EQ(openSpecs.size(), 2u);
  EXPECT_EQ(openSpecs[0].nameFilter, QStringLiteral("Font configuration (*.kvf) (*.kvf)"));
  EXPECT_EQ(openSpecs[0].defaultSuffix, QStringLiteral("kvf"));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(MainDlgActionsTest, ASettingsFileThatCannotBeReadKeepsTheSelection) {
  Open();
  Place(4, 1);
  const FontSelection before = window->Selection();
  openPaths.push_back(QString::fromStdString(folder.Path()));  // a folder, not a file
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(window->Selection(), before);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text.rfind("The selection was not loaded: ", 0), 0u) << host.messages[0].text;
  // Saving where no file can be made is reported too.
  host.savePaths.push_back(folder.File("no/such/folder/x.kvf"));
  Click(IDC_SAVE_SETTINGS);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[1].text.rfind("The selection was not saved: ", 0), 0u) << host.messages[1].text;
}

TEST_F(MainDlgActionsTest, TheCommunicationPortDialogStoresOnlyOnOk) {
  Open();
  dialogAnswer = [](QDialog& dialog) {
    auto& port = dynamic_cast<CCommPortDlg&>(dialog);
    port.PortList()->setCurrentIndex(port.PortList()->findText(QStringLiteral("TCP/IP")));
    emit port.PortList()->activated(port.PortList()->currentIndex());
    return static_cast<int>(QDialog::Rejected);  // the close box
  };
  Click(IDC_COMM_PORT);
  EXPECT_EQ(window->Port(), PortSettings{});
  EXPECT_FALSE(Stored().HasKey(kPortSection, "Port"));

  dialogAnswer = [](QDialog& dialog) {
    auto& port = dynamic_cast<CCommPortDlg&>(dialog);
    port.PortList()->setCurrentIndex(port.PortList()->findText(QStringLiteral("COM4:")));
    emit port.PortList()->activated(port.PortList()->currentIndex());
    port.accept();
    return port.result();
  };
  Click(IDC_COMM_PORT);
  EXPECT_EQ(window->Port().portName, "COM4:");
  const Profile stored = Stored();
  EXPECT_EQ(stored.Entries(kPortSection).size(), 11u);
  EXPECT_EQ(stored.GetString(kPortSection, "Port", ""), "COM4:");
  EXPECT_EQ(LoadPortSettings(stored), window->Port());
  // Downloads use the settings the window holds now.
  Click(IDC_DOWNLOAD);
  ASSERT_EQ(downloadPorts.size(), 1u);
  EXPECT_EQ(downloadPorts[0].portName, "COM4:");
  EXPECT_EQ(dialogs, (std::vector<std::string>{"corvelle::CCommPortDlg", "corvelle::CCommPortDlg"}));
}

TEST_F(MainDlgActionsTest, AboutComesFromItsButtonAndFromTheWindowMenu) {
  Open();
  Click(IDC_ABOUT);
  EXPECT_EQ(dialogs, std::vector<std::string>{"corvelle::CAboutDlg"});
  QContextMenuEvent event(QContextMenuEvent::Mouse, QPoint(5, 5), window->mapToGlobal(QPoint(5, 5)));
  QApplication::sendEvent(window.get(), &event);
  QMenu* menu = window->findChild<QMenu*>();
  ASSERT_NE(menu, nullptr);
  ASSERT_EQ(menu->actions().size(), 1);
  EXPECT_EQ(menu->actions()[0]->text(), QStringLiteral("&About Corvelle..."));
  menu->actions()[0]->trigger();
  menu->close();
  EXPECT_EQ(dialogs, (std::vector<std::string>{"corvelle::CAboutDlg", "corvelle::CAboutDlg"}));
}

// The whole program on a folder without its fonts: one font message, then the window; closing
// the window ends the program and stores nothing.
TEST(MainApp, ReportsMissingFontsOnceThenRunsTheWindow) {
  test::TempDir folder;
  const std::string profilePath = folder.File("corvelle.ini");
  std::vector<QString> seen;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    QWidget* modal = QApplication::activeModalWidget();
    if (modal == nullptr) return;
    if (auto* box = qobject_cast<QMessageBox*>(modal)) {
      seen.push_back(box->text());
      box->accept();
    } else if (auto* window = qobject_cast<CMainDlg*>(modal)) {
      seen.push_back(window->windowTitle());
      window->reject();
    }
  });
  closer.start(10);
  CMainApp app(folder.Path(), profilePath);
  EXPECT_EQ(app.InitInstance(), 0);
  EXPECT_EQ(seen, (std::vector<QString>{QStringLiteral("KERV - Font loading error"), QStringLiteral("VARNESI - Corvelle")}));
  EXPECT_FALSE(test::FileExists(profilePath));
}

}  // namespace
}  // namespace corvelle
