// The main window over a temporary program folder and profile, with dialogs, messages and printer
// actions recorded: "-->", the GN1 question, code pages and the preview, what Download, "Create
// file to download", OK and the close box store, settings files, and saving that fails.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <memory>
#include <optional>

#include "app/MainDlg.h"
#include "base/Profile.h"
#include "catalogue/CatalogueTesting.h"
#include "catalogue/SelectionProfile.h"
#include "catalogue/SettingsFile.h"
#include "resources/Layouts.h"
#include "resources/Strings.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle {

using namespace layouts;
using test::Padded;

struct BuildCall {
  bool legacy;
  std::string outputPath;
  FontSelection stored;  // the selection in the profile when the builder ran
};

class MainDlgTest : public ::testing::Test {
 protected:
  // Five fonts on Win1252 (Font C previews 12 pixels high, bold, underlined), one on Win1250.
  MainDlgTest() {
    folder.Write("FontExt/Index1252.shi", test::IndexRecord({"fa", "DejaVu Sans", "Font A", 1, 10, 0, 0, 0, 0}) +
                                              test::IndexRecord({"fb", "DejaVu Serif", "Font B", 2, 14, 1, 0, 1, 0}) +
                                              test::IndexRecord({"fc", "DejaVu Sans", "Font C", 3, 12, 0, 1, 0, 1}) +
                                              test::IndexRecord({"fd", "DejaVu Sans", "Font D", 4, 0, 0, 0, 0, 0}) +
                                              test::IndexRecord({"fe", "DejaVu Sans", "Font E", 5, 20, 0, 0, 0, 0}));
    folder.Write("FontExt/Index1250.shi", test::IndexRecord({"ea", "DejaVu Sans", "East A", 1, 10, 0, 0, 0, 0}));
  }

  // The window on the profile as it is on disk now.
  void Open() {
    window.reset();
    profile = std::make_unique<Profile>(profilePath);
    PrinterActions actions;
    for (const bool legacy : {false, true}) {
      (legacy ? actions.buildLegacyFontSet : actions.buildFontSet) = [this, legacy](const FontSetJob& job,
                                                                                    const std::string& out) {
        builds.push_back({legacy, out, LoadSelectionFromProfile(job.profile)});
        return true;
      };
      (legacy ? actions.downloadLegacyFontSet : actions.downloadFontSet) = [this, legacy](const FontSetJob&) {
        downloads.push_back(legacy);
        if (duringDownload) duringDownload();
        return true;
      };
    }
    const auto openDialog = [this](const OpenDialogSpec& spec) {
      openSpecs.push_back(spec);
      return openSpecs.size() <= openPaths.size() ? openPaths[openSpecs.size() - 1] : std::nullopt;
    };
    window = std::make_unique<CMainDlg>(MainDlgContext{
        host, *profile, folder.Path(), actions, [](const std::string&) { return false; },
        [](QDialog&) { return static_cast<int>(QDialog::Rejected); }, openDialog});
    window->show();
  }

  Profile Stored() const { return Profile(profilePath); }
  void Click(int id) { window->Button(id)->click(); }
  // "-->" with `position` selected on the right and the catalogue's `rows` on the left.
  void Place(int position, std::initializer_list<int> rows) {
    window->SelectedList()->setCurrentRow(position);
    window->AvailableList()->clearSelection();
    for (int row : rows) window->AvailableList()->item(row)->setSelected(true);
    Click(IDC_ADD);
  }
  std::string Shown(int position) const { return window->SelectedList()->item(position)->text().toStdString(); }
  std::string FontPath(std::string_view base) const { return folder.File("FontExt/" + std::string(base) + ".she"); }

  test::TempDir folder;
  std::string profilePath = folder.File("corvelle.ini");
  test::FakeHost host;
  std::unique_ptr<Profile> profile;
  std::unique_ptr<CMainDlg> window;
  std::vector<std::optional<QString>> openPaths;  // answers to the open dialogs, in turn
  std::vector<OpenDialogSpec> openSpecs;
  std::vector<BuildCall> builds;
  std::vector<bool> downloads;
  std::function<void()> duringDownload;
};

TEST_F(MainDlgTest, AddAt110FillsTheLastTwoPositionsOnlyThenAsksForADestination) {
  Open();
  Place(110, {4, 0, 1, 2, 3});
  EXPECT_EQ(Shown(110), Padded("Font A"));
  EXPECT_EQ(Shown(111), Padded("Font B"));
  EXPECT_EQ(window->Selection()[111].fontPath, FontPath("fb"));
  const FontSelection& selection = window->Selection();
  EXPECT_EQ(std::count(selection.begin(), selection.end(), SelectionSlot{}), 110);
  EXPECT_TRUE(host.messages.empty());
  Click(IDC_ADD);  // no position is selected now
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, LoadStr(IDS_SELECT_DESTINATION));
}

TEST_F(MainDlgTest, TheGn1QuestionOkFreesThePositionsFromEightOnAndCancelKeepsThem) {
  Open();
  Place(7, {0});
  Place(8, {1});
  host.answers = {MessageAnswer::Cancel, MessageAnswer::Ok};
  window->LegacyBox()->click();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, LoadStr(IDS_MAX_8_FONTS));
  EXPECT_EQ(host.messages[0].style, MessageStyle::Question);
  EXPECT_FALSE(window->LegacyBox()->isChecked());
  EXPECT_EQ(Shown(8), Padded("Font B"));
  window->LegacyBox()->click();
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_TRUE(window->LegacyBox()->isChecked());
  EXPECT_EQ(Shown(7), Padded("Font A"));
  EXPECT_EQ(Shown(8), "***");
}

TEST_F(MainDlgTest, SwitchingTheCodePageReloadsTheListAndKeepsTheSelection) {
  Open();
  Place(0, {0});
  window->CodePageRadio(0)->click();
  ASSERT_EQ(window->AvailableList()->count(), 1);
  EXPECT_EQ(Shown(0), Padded("Font A"));
  Place(1, {0});  // fonts of different code pages mix in one selection
  EXPECT_EQ(window->Selection()[0].fontPath, FontPath("fa"));
  EXPECT_EQ(window->Selection()[1].fontPath, FontPath("ea"));
}

TEST_F(MainDlgTest, PreviewUsesTheRecordsFont) {
  Open();
  window->AvailableList()->setCurrentRow(2);
  const QLabel* area = window->PreviewArea();
  EXPECT_EQ(area->text(), QStringLiteral("123 Sample"));
  EXPECT_EQ(area->font().pixelSize(), 12);
  EXPECT_EQ(area->font().weight(), QFont::Bold);
  EXPECT_TRUE(area->font().underline());
  EXPECT_FALSE(area->font().italic());
}

TEST_F(MainDlgTest, DownloadBuildsFromTheStoredSelectionNotTheShownOne) {
  Open();
  Place(0, {0});
  Click(IDOK);
  Open();
  Place(0, {1});  // shown: Font B, stored: Font A
  Click(IDC_DOWNLOAD);
  ASSERT_EQ(builds.size(), 1u);
  EXPECT_EQ(builds[0].stored[0].fontPath, FontPath("fa"));
  EXPECT_EQ(downloads, std::vector<bool>{false});
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[0].fontPath, FontPath("fa"));  // stores nothing itself
}

TEST_F(MainDlgTest, WhileADownloadRunsTheButtonsAreDisabledAndClosingIsIgnored) {
  Open();
  int enabledDuring = -1;
  duringDownload = [&] {
    enabledDuring = 0;
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) enabledDuring += button->isEnabled();
    window->reject();
    window->accept();
    window->OnDownload();  // a second download cannot start inside the first
  };
  Click(IDC_DOWNLOAD);
  EXPECT_EQ(enabledDuring, 0);
  EXPECT_EQ(downloads.size(), 1u);
  EXPECT_TRUE(window->isVisible());
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    EXPECT_TRUE(button->isEnabled()) << button->objectName().toStdString();
  }
  EXPECT_FALSE(Stored().HasKey(kPortSection, "Codepage"));
}

TEST_F(MainDlgTest, CreateFileStoresTheSelectionEvenWhenTheSaveDialogIsCancelled) {
  Open();
  Place(3, {2});
  host.savePaths = {std::nullopt, folder.File("out/my.shf")};
  Click(IDC_CREATE_FILE);
  EXPECT_EQ(host.saveRequests[0].suggestedName, "FontSet.SHC");
  EXPECT_TRUE(builds.empty());
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[3].fontPath, FontPath("fc"));
  EXPECT_FALSE(Stored().HasKey(kPortSection, "Codepage"));
  window->LegacyBox()->click();
  Click(IDC_CREATE_FILE);
  ASSERT_EQ(host.saveRequests.size(), 2u);
  EXPECT_EQ(host.saveRequests[1].suggestedName, "FontSet.SHF");
  ASSERT_EQ(builds.size(), 1u);
  EXPECT_TRUE(builds[0].legacy);
  EXPECT_EQ(builds[0].outputPath, folder.File("out/my.shf"));
  EXPECT_TRUE(downloads.empty());
}

TEST_F(MainDlgTest, OkStoresTheSelectionAndCodePageAndTheCloseBoxNothing) {
  Open();
  Place(0, {4});
  window->CodePageRadio(0)->click();
  Click(IDOK);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(Stored().GetInt(kPortSection, "Codepage", -1), 0);
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[0].fontPath, FontPath("fe"));
  const std::string before = test::ReadFile(profilePath);
  Open();
  EXPECT_EQ(window->CodePageChoice(), 0);
  Place(1, {0});
  window->CodePageRadio(2)->click();
  window->close();
  EXPECT_EQ(window->result(), QDialog::Rejected);
  EXPECT_EQ(test::ReadFile(profilePath), before);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(MainDlgTest, AProfileThatCannotBeSavedIsReported) {
  folder.Write("blocker", "a file where the profile's folder should be");
  profilePath = folder.File("blocker/corvelle.ini");
  Open();
  Click(IDOK);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text.rfind("The settings were not saved: ", 0), 0u) << host.messages[0].text;
}

TEST_F(MainDlgTest, SettingsFilesGoThroughTheFileDialogsAndABadOneChangesNothing) {
  Open();
  Place(0, {0});
  Place(111, {3});
  const FontSelection saved = window->Selection();
  host.savePaths = {folder.File("mine.kvf"), folder.File("no/such/folder/x.kvf")};
  Click(IDC_SAVE_SETTINGS);
  EXPECT_EQ(host.saveRequests[0].filter, "Font configuration (*.kvf) | *.kvf||");
  EXPECT_EQ(test::ReadFile(folder.File("mine.kvf")), SerializeSettings(saved));
  Click(IDC_EMPTY_LIST);
  openPaths = {std::nullopt, QString::fromStdString(folder.File("mine.kvf")),
               QString::fromStdString(folder.Path())};  // the last a folder
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(window->Selection(), FontSelection{});
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(window->Selection(), saved);
  EXPECT_EQ(Shown(111), Padded("Font D"));
  EXPECT_EQ(openSpecs[0].nameFilter, QStringLiteral("Font configuration (*.kvf) (*.kvf)"));
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(window->Selection(), saved);
  Click(IDC_SAVE_SETTINGS);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].text.rfind("The selection was not loaded: ", 0), 0u) << host.messages[0].text;
  EXPECT_EQ(host.messages[1].text.rfind("The selection was not saved: ", 0), 0u) << host.messages[1].text;
}

}  // namespace corvelle
