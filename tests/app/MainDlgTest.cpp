// SPDX-License-Identifier: MIT
// The main window over a temporary program folder and profile, with dialogs, messages and printer
// actions recorded: "-->", the GN1 question, code pages and the preview, what Download, "Create
// file to download", OK and the close box store, settings files, and saving that fails.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <deque>
#include <memory>
#include <optional>
#include <tuple>

#include "app/MainDlg.h"
#include "base/Paths.h"
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
using testing::AllOf;
using testing::HasSubstr;
using testing::MatchesRegex;
using testing::Not;
using testing::StartsWith;

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
    Open();
  }

  // The window on the profile as it is on disk now.
  void Open() {
    window.reset();
    profile = std::make_unique<Profile>(profilePath);
    PrinterActions actions;
    for (const bool legacy : {false, true}) {
      (legacy ? actions.buildLegacyFontSet : actions.buildFontSet) = [this, legacy](const FontSetJob& job,
                                                                                    const std::string& out) {
        builds.emplace_back((legacy ? "GN1 " : "") + out, LoadSelectionFromProfile(job.profile));
        return true;
      };
    }
    // Download builds the default image from what is stored once its question is answered.
    actions.download = [this](const FontSetJob& job, bool legacy, const std::function<bool()>& confirm) {
      if (!confirm()) return false;
      builds.emplace_back(legacy ? "GN1 " : "", LoadSelectionFromProfile(job.profile));
      downloads.push_back(legacy);
      if (duringDownload) duringDownload();
      return true;
    };
    window = std::make_unique<CMainDlg>(
        MainDlgContext{host, *profile, folder.Path(), actions, [](const std::string&) { return false; },
                       [](QDialog&) { return static_cast<int>(QDialog::Rejected); },
                       [this](const OpenDialogSpec& spec) {
                         openSpecs.push_back(spec);
                         return openSpecs.size() <= openPaths.size() ? openPaths[openSpecs.size() - 1] : std::nullopt;
                       },
                       [this](const ChoiceQuestion& question) {
                         questions.push_back(question);
                         if (choices.empty()) return Choice::Cancel;
                         const Choice choice = choices.front();
                         choices.pop_front();
                         return choice;
                       }});
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
  std::string FontPath(std::string_view base) const { return FontExtFolder(folder.Path()) + std::string(base) + ".she"; }

  test::TempDir folder;
  std::string profilePath = folder.File("corvelle.ini");
  test::FakeHost host;
  std::unique_ptr<Profile> profile;
  std::unique_ptr<CMainDlg> window;
  std::vector<std::optional<QString>> openPaths;  // answers to the open dialogs, in turn
  std::vector<OpenDialogSpec> openSpecs;
  std::deque<Choice> choices;  // answers to the window's own questions, in turn; Cancel when none
  std::vector<ChoiceQuestion> questions;
  // Per build: the output path ("GN1 " before it for the legacy builder), the selection stored then.
  std::vector<std::pair<std::string, FontSelection>> builds;
  std::vector<bool> downloads;
  std::function<void()> duringDownload;
};

TEST_F(MainDlgTest, AddAt110FillsTheLastTwoPositionsOnlyThenAsksForADestination) {
  Place(110, {4, 0, 1, 2, 3});
  EXPECT_EQ(Shown(110) + Shown(111), Padded("Font A") + Padded("Font B"));
  EXPECT_EQ(std::count(window->Selection().begin(), window->Selection().end(), SelectionSlot{}), 110);
  Click(IDC_ADD);  // no position is selected now
  EXPECT_EQ(host.Messages(), LoadStr(IDS_SELECT_DESTINATION));
}

TEST_F(MainDlgTest, TheGn1QuestionOkFreesThePositionsFromEightOnAndCancelKeepsThem) {
  Place(7, {0});
  Place(8, {1});
  host.answers = {MessageAnswer::Cancel, MessageAnswer::Ok};
  window->LegacyBox()->click();
  EXPECT_EQ(host.Messages(), LoadStr(IDS_MAX_8_FONTS));
  EXPECT_EQ(host.messages[0].style, MessageStyle::Question);
  EXPECT_FALSE(window->LegacyBox()->isChecked());
  EXPECT_EQ(Shown(8), Padded("Font B"));
  window->LegacyBox()->click();
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_TRUE(window->LegacyBox()->isChecked());
  EXPECT_EQ(Shown(7) + Shown(8), Padded("Font A") + "***");
}

TEST_F(MainDlgTest, SwitchingTheCodePageReloadsTheListAndKeepsTheSelectionAndThePreviewUsesTheRecordsFont) {
  window->AvailableList()->setCurrentRow(2);
  EXPECT_EQ(window->PreviewArea()->text(), QStringLiteral("123 Sample"));
  const QFont font = window->PreviewArea()->font();
  EXPECT_EQ(std::tuple(font.pixelSize(), font.weight(), font.underline(), font.italic()),
            std::tuple(12, QFont::Bold, true, false));
  Place(0, {0});
  window->CodePageRadio(0)->click();
  ASSERT_EQ(window->AvailableList()->count(), 1);
  EXPECT_EQ(Shown(0), Padded("Font A"));
  Place(1, {0});  // fonts of different code pages mix in one selection
  EXPECT_EQ(window->Selection()[0].fontPath + " " + window->Selection()[1].fontPath,
            FontPath("fa") + " " + FontPath("ea"));
}

// Download builds from the profile and holds the window still meanwhile; when the lists show
// another selection than the stored one, it asks which one goes.
TEST_F(MainDlgTest, DownloadAsksWhichSelectionGoesWhenTheShownOneIsNotStored) {
  Place(0, {0});
  Click(IDOK);
  Open();
  Place(0, {1});  // shown: Font B, stored: Font A
  const auto enabledButtons = [this] {
    int enabled = 0;
    for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) enabled += button->isEnabled();
    return enabled;
  };
  int enabledDuring = -1;
  duringDownload = [&] {
    enabledDuring = enabledButtons();
    window->reject();
    window->accept();
    window->OnDownload();  // a second download cannot start inside the first
  };
  choices = {Choice::Cancel, Choice::Second, Choice::First};
  Click(IDC_DOWNLOAD);  // Cancel: nothing is built or stored
  EXPECT_TRUE(builds.empty());
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].preferred, Choice::First);
  Click(IDC_DOWNLOAD);  // the stored selection goes, the shown one stays on screen
  ASSERT_EQ(builds.size(), 1u);
  EXPECT_EQ(builds[0].second[0].fontPath, FontPath("fa"));
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[0].fontPath, FontPath("fa"));
  EXPECT_EQ(window->Selection()[0].fontPath, FontPath("fb"));
  EXPECT_EQ(enabledDuring, 0);
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(enabledButtons(), window->findChildren<QAbstractButton*>().size());
  Click(IDC_DOWNLOAD);  // the shown selection is stored and goes
  ASSERT_EQ(builds.size(), 2u);
  EXPECT_EQ(builds[1].second[0].fontPath, FontPath("fb"));
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[0].fontPath, FontPath("fb"));
  Click(IDC_DOWNLOAD);  // the same on screen and stored: no question
  EXPECT_EQ(questions.size(), 3u);
  ASSERT_EQ(builds.size(), 3u);
  EXPECT_EQ(builds[2].second[0].fontPath, FontPath("fb"));
  EXPECT_EQ(downloads, (std::vector<bool>{false, false, false}));
}

// Another run (the command line) stores a selection while the window is open: OK writes only
// the positions the window changed, and asks before replacing a position both changed.
TEST_F(MainDlgTest, OkKeepsWhatAnotherRunStoredAndAsksWhenBothChangedAPosition) {
  const auto storeElsewhere = [this](int position, std::string_view font) {
    Profile other(profilePath);
    FontSelection selection = LoadSelectionFromProfile(other);
    selection[position] = SelectionSlot{std::string(font), FontPath(font)};
    StoreSelectionToProfile(selection, other);
    ASSERT_TRUE(other.Save());
  };
  storeElsewhere(9, "fc");
  Place(0, {0});
  Click(IDOK);
  EXPECT_TRUE(questions.empty());
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[9].fontPath, FontPath("fc"));
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[0].fontPath, FontPath("fa"));

  Open();
  storeElsewhere(0, "fd");
  Place(0, {1});
  choices = {Choice::Cancel, Choice::Second};
  Click(IDOK);  // Cancel: the window stays, nothing is stored
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_THAT(questions[0].text, testing::HasSubstr("(positions 1)"));
  EXPECT_TRUE(window->isVisible());
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[0].fontPath, FontPath("fd"));
  Click(IDOK);  // Keep: the stored selection stays
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[0].fontPath, FontPath("fd"));
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[9].fontPath, FontPath("fc"));

  Open();
  storeElsewhere(0, "fa");
  Place(0, {4});
  choices = {Choice::First};
  Click(IDC_CREATE_FILE);  // Replace: what is shown is stored, before the file is asked for
  EXPECT_EQ(questions.size(), 3u);
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[0].fontPath, FontPath("fe"));
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[9].fontPath, FontPath("fc"));
}

TEST_F(MainDlgTest, CreateFileStoresTheSelectionEvenWhenTheSaveDialogIsCancelled) {
  Place(3, {2});
  host.savePaths = {std::nullopt, folder.File("out/my.shf")};
  Click(IDC_CREATE_FILE);
  EXPECT_TRUE(builds.empty());
  EXPECT_EQ(LoadSelectionFromProfile(Stored())[3].fontPath, FontPath("fc"));
  EXPECT_FALSE(Stored().HasKey(kPortSection, "Codepage"));
  window->LegacyBox()->click();
  Click(IDC_CREATE_FILE);
  ASSERT_EQ(host.saveRequests.size(), 2u);
  EXPECT_EQ(host.saveRequests[0].suggestedName + " " + host.saveRequests[1].suggestedName, "FontSet.SHC FontSet.SHF");
  ASSERT_EQ(builds.size(), 1u);
  EXPECT_EQ(builds[0].first, "GN1 " + folder.File("out/my.shf"));
  EXPECT_TRUE(downloads.empty());
}

// OK stores; the close box stores nothing; a profile that cannot be saved is reported.
TEST_F(MainDlgTest, OkStoresTheSelectionAndCodePageAndTheCloseBoxNothing) {
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
  EXPECT_EQ(host.Messages(), "");
  folder.Write("blocker", "a file where the profile's folder should be");
  profilePath = folder.File("blocker/corvelle.ini");
  Open();
  Click(IDOK);
  EXPECT_THAT(host.Messages(), AllOf(StartsWith("The settings were not saved: "), Not(HasSubstr("|"))));
}

TEST_F(MainDlgTest, SettingsFilesGoThroughTheFileDialogsAndABadOneChangesNothing) {
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
  EXPECT_EQ(openSpecs[0].nameFilter, QStringLiteral("Font configuration (*.kvf)")) << "each filter once";
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(window->Selection(), saved);
  Click(IDC_SAVE_SETTINGS);
  EXPECT_THAT(host.Messages(), MatchesRegex("The selection was not loaded: .+ \\| The selection was not saved: .+"));
}

}  // namespace corvelle
