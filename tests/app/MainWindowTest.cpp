// SPDX-License-Identifier: MIT
// The main window over a temporary program folder and profile, with dialogs, questions and printer
// actions recorded: "-->", the GN1 question, code pages and the preview, what Download, "Create
// file to download", OK and the close box store, settings files (opened, saved, dropped), saving
// that fails; and as people live with it: its smallest size on a small screen at twice the
// scale, the keyboard (mnemonics, Enter, Escape, Ctrl with Home, End, O and S), fonts dragged
// onto and between positions, and the port dialog's OK.
#include <QDir>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QProcess>
#include <QRadioButton>
#include <QScreen>
#include <QUrl>
#include <iostream>
#include <set>

#include "AppTesting.h"
#include "base/Paths.h"
#include "catalogue/CatalogueTesting.h"
#include "catalogue/SettingsFile.h"

namespace corvelle {
namespace {

using namespace layouts;
using namespace testing;
using test::Padded;

class MainWindowTest : public ::testing::Test {
 protected:
  // Five fonts on Win1252 (Font C previews 12 pixels high, bold, underlined), one each on Win1250
  // and Win1251.
  MainWindowTest() {
    folder.Write("FontExt/Index1252.shi", test::IndexRecord({"fa", "DejaVu Sans", "Font A", 1, 10, 0, 0, 0, 0}) +
                                              test::IndexRecord({"fb", "DejaVu Serif", "Font B", 2, 14, 1, 0, 1, 0}) +
                                              test::IndexRecord({"fc", "DejaVu Sans", "Font C", 3, 12, 0, 1, 0, 1}) +
                                              test::IndexRecord({"fd", "DejaVu Sans", "Font D", 4, 0, 0, 0, 0, 0}) +
                                              test::IndexRecord({"fe", "DejaVu Sans", "Font E", 5, 20, 0, 0, 0, 0}));
    folder.Write("FontExt/Index1250.shi", test::IndexRecord({"ea", "DejaVu Sans", "East A", 1, 10, 0, 0, 0, 0}));
    folder.Write("FontExt/Index1251.shi", test::IndexRecord({"ca", "DejaVu Sans", "Cyr A", 1, 10, 0, 0, 0, 0}));
    Open();
  }

  // The window on the profile as it is on disk now, active for the keyboard.
  void Open() {
    window.reset();
    profile = std::make_unique<Profile>(profilePath);
    const auto build = [this](bool legacy, const std::string& out, const FontSetJob& job) {
      builds.push_back((legacy ? "GN1 " : "") + out + ":" + Base(LoadSelectionFromProfile(job.profile)[0].fontPath));
      return true;
    };
    PrinterActions actions;
    actions.buildFontSet = [build](const FontSetJob& job, const std::string& out) { return build(false, out, job); };
    actions.buildLegacyFontSet = [build](const FontSetJob& job, const std::string& out) { return build(true, out, job); };
    // Download builds the default image from what is stored once its question is answered.
    actions.download = [this, build](const FontSetJob& job, bool legacy, const std::function<bool()>& confirm) {
      return confirm() && (duringDownload(), build(legacy, "download", job));
    };
    window = std::make_unique<CMainDlg>(MainDlgContext{
        host, *profile, folder.Path(), actions, [](const std::string&) { return false; },
        [this](QDialog& dialog) { return dialog.show(), workDialog(dialog), dialog.result(); },
        [this](const OpenDialogSpec& spec) { return openSpecs.push_back(spec), Next(openPaths, std::optional<QString>()); },
        [this](const ChoiceQuestion& question) { return questions.push_back(question), Next(choices, Choice::Cancel); }});
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }

  // The first of `answers`, taken from them; `otherwise` when none is left.
  template <class T>
  static T Next(std::vector<T>& answers, T otherwise) {
    if (!answers.empty()) { otherwise = answers.front(); answers.erase(answers.begin()); }
    return otherwise;
  }
  Profile Stored() const { return Profile(profilePath); }
  // The base names of the fonts at `positions` of the profile on disk or of the window's
  // selection, e.g. "fa *** fc" ("***" for a free position).
  static std::string Fonts(const FontSelection& selection, std::initializer_list<int> positions) {
    std::string names;
    for (int p : positions) names += (names.empty() ? "" : " ") + Base(selection[static_cast<std::size_t>(p)].fontPath);
    return names;
  }
  std::string StoredFonts(std::initializer_list<int> at) const { return Fonts(LoadSelectionFromProfile(Stored()), at); }
  std::string ShownFonts(std::initializer_list<int> positions) const { return Fonts(window->Selection(), positions); }
  static std::string Base(const std::string& path) { return std::filesystem::path(path).stem().string(); }
  void Click(int id) { window->Button(id)->click(); }
  // "-->" with `position` selected on the right and the catalogue's `rows` on the left.
  void Place(int position, std::initializer_list<int> rows) {
    window->SelectedList()->setCurrentRow(position);
    Choose(rows);
    Click(IDC_ADD);
  }
  // Selects the catalogue's `rows` in "Available fonts", and only them.
  void Choose(std::initializer_list<int> rows) {
    window->AvailableList()->clearSelection();
    for (int row : rows) window->AvailableList()->item(row)->setSelected(true);
  }
  std::string Shown(int position) const { return window->SelectedList()->item(position)->text().toStdString(); }
  std::string FontPath(std::string_view base) const { return FontExtFolder(folder.Path()) + std::string(base) + ".she"; }
  // Drags `data` over `target` and drops it at `at`, as the mouse would; false when refused.
  static bool Drop(QWidget* target, QPoint at, const QMimeData& data) {
    QDragEnterEvent enter(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(at, Qt::MoveAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(target, &drop);
    return drop.isAccepted();
  }
  // What a drag started in `from` carries, dropped on position `position` of the selected list.
  bool DropOnPosition(QListWidget* from, int position) {
    const std::unique_ptr<QMimeData> data = window->DragData(from);
    if (data == nullptr) return false;
    QListWidget* list = window->SelectedList();
    list->scrollToItem(list->item(position));
    return Drop(list->viewport(), list->visualItemRect(list->item(position)).center(), *data);
  }

  test::TempDir folder;
  std::string profilePath = folder.File("corvelle.ini");
  test::FakeHost host;
  std::unique_ptr<Profile> profile;
  std::unique_ptr<CMainDlg> window;
  std::vector<std::optional<QString>> openPaths;  // answers to the open dialogs, in turn; cancel when none
  std::vector<OpenDialogSpec> openSpecs;
  std::vector<Choice> choices;  // answers to the window's own questions, in turn; Cancel when none
  std::vector<ChoiceQuestion> questions;
  // Per build: "output:font", the output path ("download" for a download, "GN1 " before it for the
  // legacy builder) and the base name of the font at position 1 of the selection stored then.
  std::vector<std::string> builds;
  std::function<void()> duringDownload = [] {};
  std::function<void(QDialog&)> workDialog = [](QDialog&) {};  // the user in a dialog the window runs
};

// The window's state and actions; the suite keeps its own name.
class MainDlgTest : public MainWindowTest {};

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
  EXPECT_EQ(std::tuple(host.Messages(), host.messages[0].style, window->LegacyBox()->isChecked(), Shown(8)),
            std::tuple(std::string(LoadStr(IDS_MAX_8_FONTS)), MessageStyle::Question, false, Padded("Font B")));
  window->LegacyBox()->click();
  EXPECT_EQ(std::tuple(host.messages.size(), window->LegacyBox()->isChecked(), Shown(7) + Shown(8)),
            std::tuple(2u, true, Padded("Font A") + "***"));
}

// The preview uses the record's font and the script of the list's code page.
TEST_F(MainDlgTest, SwitchingTheCodePageReloadsTheListAndKeepsTheSelectionAndThePreviewUsesTheRecordsFont) {
  window->AvailableList()->setCurrentRow(2);
  EXPECT_EQ(window->PreviewArea()->text(), QStringLiteral("123 Sample"));
  const QFont font = window->PreviewArea()->font();
  EXPECT_EQ(std::tuple(font.pixelSize(), font.weight(), font.underline(), font.italic()),
            std::tuple(12, QFont::Bold, true, false));
  Place(0, {0});
  window->CodePageRadio(0)->click();
  ASSERT_EQ(window->AvailableList()->count(), 1);
  EXPECT_EQ(Shown(0), Padded("Font A")) << "the selection stays";
  Place(1, {0});  // fonts of different code pages mix in one selection
  EXPECT_EQ(ShownFonts({0, 1}), "fa ea");
  window->CodePageRadio(1)->click();
  window->AvailableList()->setCurrentRow(0);
  EXPECT_TRUE(window->PreviewArea()->text().contains(QChar(0x041E))) << window->PreviewArea()->text().toStdString();
}

// Download builds from the profile and holds the window still meanwhile; when the lists show
// another selection than the stored one, it asks which one goes. The GN1 box chooses the legacy
// download.
TEST_F(MainDlgTest, DownloadAsksWhichSelectionGoesWhenTheShownOneIsNotStored) {
  Place(0, {0});
  Click(IDOK);
  Open();
  Place(0, {1});  // shown: Font B, stored: Font A
  const auto enabledButtons = [this] {
    const QList<QAbstractButton*> all = window->findChildren<QAbstractButton*>();
    return std::count_if(all.begin(), all.end(), [](QAbstractButton* button) { return button->isEnabled(); });
  };
  int enabledDuring = 0;
  std::string stored;  // per download: the font at position 1 of the profile on disk
  duringDownload = [&] {
    enabledDuring += enabledButtons();
    stored += StoredFonts({0}) + " ";
    window->reject();
    window->accept();
    window->OnDownload();  // a second download cannot start inside the first
  };
  choices = {Choice::Cancel, Choice::Second, Choice::First};
  Click(IDC_DOWNLOAD);  // Cancel: nothing is built or stored
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].preferred, Choice::First);
  Click(IDC_DOWNLOAD);  // the stored selection goes, the shown one stays on screen
  EXPECT_EQ(ShownFonts({0}), "fb");
  EXPECT_TRUE(window->isVisible() && enabledButtons() == window->findChildren<QAbstractButton*>().size());
  Click(IDC_DOWNLOAD);  // the shown selection is stored and goes
  Click(IDC_DOWNLOAD);  // the same on screen and stored: no question
  window->LegacyBox()->click();
  Click(IDC_DOWNLOAD);
  EXPECT_EQ(std::tuple(questions.size(), enabledDuring, stored, builds),
            std::tuple(3u, 0, std::string("fa fb fb fb "),
                       std::vector<std::string>{"download:fa", "download:fb", "download:fb", "GN1 download:fb"}));
}

// Another run (the command line) stores a selection while the window is open: OK writes only
// the positions the window changed, with the code page, and asks before replacing a position
// both changed. A profile that cannot be saved is reported.
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
  window->CodePageRadio(0)->click();
  Click(IDOK);
  EXPECT_TRUE(questions.empty() && !window->isVisible());
  EXPECT_EQ(StoredFonts({0, 9}) + " " + Stored().GetString(kPortSection, "Codepage", ""), "fa fc 0");

  Open();
  EXPECT_EQ(window->CodePageChoice(), 0);
  window->CodePageRadio(2)->click();
  storeElsewhere(0, "fd");
  Place(0, {1});
  choices = {Choice::Cancel, Choice::Second};
  Click(IDOK);  // Cancel: the window stays, nothing is stored
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_THAT(questions[0].text, HasSubstr("(positions 1)"));
  EXPECT_TRUE(window->isVisible() && StoredFonts({0}) == "fd");
  Click(IDOK);  // Keep: the stored selection stays
  EXPECT_TRUE(!window->isVisible() && StoredFonts({0, 9}) == "fd fc");

  // "Create file to download" stores too, before the file is asked for, even when that is
  // cancelled; it proposes FontSet.SHC, or FontSet.SHF for the GN1 builder.
  Open();
  storeElsewhere(0, "fa");
  Place(0, {4});
  choices = {Choice::First};
  host.savePaths = {std::nullopt, folder.File("out/my.shf")};
  Click(IDC_CREATE_FILE);  // Replace: what is shown is stored
  EXPECT_TRUE(questions.size() == 3 && StoredFonts({0, 9}) == "fe fc");
  window->LegacyBox()->click();
  Click(IDC_CREATE_FILE);
  ASSERT_EQ(host.saveRequests.size(), 2u);
  EXPECT_EQ(host.saveRequests[0].suggestedName + " " + host.saveRequests[1].suggestedName, "FontSet.SHC FontSet.SHF");
  EXPECT_EQ(builds, std::vector<std::string>{"GN1 " + folder.File("out/my.shf") + ":fe"}) << "none for the cancelled one";

  folder.Write("blocker", "a file where the profile's folder should be");
  profilePath = folder.File("blocker/corvelle.ini");
  Open();
  host.messages.clear();  // the GN1 question above
  Click(IDOK);
  EXPECT_THAT(host.Messages(), AllOf(StartsWith("The settings were not saved: "), Not(HasSubstr("|"))));
}

// Saved and loaded through the file dialogs, dropped on the window (only a .kvf file); a bad one
// changes nothing.
TEST_F(MainDlgTest, SettingsFilesGoThroughTheFileDialogsAndABadOneChangesNothing) {
  Place(0, {0});
  Place(111, {3});
  const FontSelection saved = window->Selection();
  host.savePaths = {folder.File("mine.kvf"), folder.File("no/such/folder/x.kvf")};
  Click(IDC_SAVE_SETTINGS);
  EXPECT_EQ(test::ReadFile(folder.File("mine.kvf")), SerializeSettings(saved));
  Click(IDC_EMPTY_LIST);
  openPaths = {std::nullopt, QString::fromStdString(folder.File("mine.kvf")),
               QString::fromStdString(folder.Path())};  // the last a folder
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(window->Selection(), FontSelection{});
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(Shown(111), Padded("Font D"));
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(window->Selection(), saved);
  Click(IDC_SAVE_SETTINGS);
  EXPECT_THAT(host.Messages(), MatchesRegex("The selection was not loaded: .+ \\| The selection was not saved: .+"));

  Click(IDC_EMPTY_LIST);
  for (const auto& [name, taken] : {std::pair{"drop.txt", false}, {"drop.KVF", true}}) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(folder.Write(name, SerializeSettings(saved))))});
    EXPECT_EQ(Drop(window.get(), QPoint(10, 10), data), taken) << name;
    EXPECT_EQ(window->Selection(), taken ? saved : FontSelection{}) << name;
  }
  EXPECT_EQ(Shown(111), Padded("Font D"));
}

// At its smallest size, placed at the top left of the screen's free area, the window lies wholly
// in that area with every control inside it: on the tests' own screen, and again (the next test)
// on a 1600x1000 screen at twice the scale, where the template's size would not fit. Grown, the
// lists and the preview take the room, every control stays inside and no button lies on them.
TEST_F(MainWindowTest, AtItsSmallestSizeTheWindowAndEveryControlFitTheScreensFreeArea) {
  const QRect free = window->screen()->availableGeometry();
  std::cout << "screen " << free.width() << "x" << free.height() << " at " << window->devicePixelRatio() << "x\n";
  window->resize(window->minimumSize());
  window->move(free.topLeft());
  EXPECT_TRUE(free.contains(window->frameGeometry()));
  const QWidget* areas[] = {window->AvailableList(), window->SelectedList(), window->PreviewArea()};
  std::vector<QSize> smallest;
  for (const QWidget* area : areas) smallest.push_back(area->size());
  for (const QSize growth : {QSize(0, 0), QSize(200, 120)}) {
    window->resize(window->minimumSize() + growth);
    for (QWidget* control : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
      if (!control->isVisible()) continue;
      EXPECT_TRUE(window->rect().contains(control->geometry())) << control->objectName().toStdString();
      for (const QWidget* area : areas)
        EXPECT_TRUE(!qobject_cast<QPushButton*>(control) || !control->geometry().intersects(area->geometry()))
            << control->objectName().toStdString();
    }
  }
  for (std::size_t i = 0; i < smallest.size(); ++i)
    EXPECT_TRUE(areas[i]->width() > smallest[i].width() && areas[i]->height() > smallest[i].height()) << i;
}

TEST(MainWindowAtTwiceTheScale, OnA1600By1000ScreenTheSmallestWindowStillFits) {
  const test::TempDir dir;
  dir.Write("screen.json", R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1600, "height": 1000, "logicalDpi": 96}]})");
  QProcess child;
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
  child.setProcessEnvironment(environment);
  child.setProcessChannelMode(QProcess::MergedChannels);
  // The platform option names the file relative to the working folder: a drive letter's colon
  // would end the option's value.
  child.setWorkingDirectory(QString::fromStdString(dir.Path()));
  child.start(QCoreApplication::applicationFilePath(),
              {QStringLiteral("--gtest_filter=MainWindowTest.AtItsSmallestSizeTheWindowAndEveryControlFitTheScreensFreeArea"),
               QStringLiteral("-platform"), QStringLiteral("offscreen:configfile=screen.json")});
  ASSERT_TRUE(child.waitForFinished(60'000));
  const QString out = QString::fromLocal8Bit(child.readAll());
  EXPECT_TRUE(out.contains(QStringLiteral("screen 800x500 at 2x"))) << out.toStdString();
  EXPECT_TRUE(child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0) << out.toStdString();
}

// Every button and every label with a buddy has a mnemonic of its own, every control a name.
TEST_F(MainWindowTest, EveryButtonHasItsOwnMnemonicAndEveryControlAName) {
  std::set<QString> keys;
  for (QAbstractButton* button : window->findChildren<QAbstractButton*>()) {
    const QString key = button->shortcut().toString();
    EXPECT_FALSE(key.isEmpty()) << button->text().toStdString();
    EXPECT_TRUE(keys.insert(key).second) << "twice: " << key.toStdString();
    EXPECT_FALSE(button->accessibleName().isEmpty() || button->accessibleDescription().isEmpty());
  }
  for (QLabel* label : window->findChildren<QLabel*>()) {
    if (label->buddy() == nullptr) continue;
    const QString key = QKeySequence::mnemonic(label->text()).toString();
    EXPECT_TRUE(keys.insert(key).second) << "twice: " << key.toStdString();
  }
  for (QWidget* control : std::initializer_list<QWidget*>{window->AvailableList(), window->SelectedList(), window->PreviewArea()})
    EXPECT_FALSE(control->accessibleName().isEmpty());
  // Alt+Right is "-->"; a button's shortcut clicks it after a short animation.
  window->SelectedList()->setCurrentRow(3);
  Choose({1});
  QTest::keyClick(window->AvailableList(), Qt::Key_Right, Qt::AltModifier);
  EXPECT_TRUE(QTest::qWaitFor([&] { return ShownFonts({3}) == "fb"; }, 2000));
}

TEST_F(MainWindowTest, EnterPressesTheFocusedButtonActsInTheListsAndElsewhereIsOk) {
  Place(0, {0});
  EXPECT_TRUE(window->Button(IDOK)->isDefault());
  window->Button(IDC_EMPTY_LIST)->setFocus();
  QTest::keyClick(window->Button(IDC_EMPTY_LIST), Qt::Key_Return);
  EXPECT_EQ(window->Selection(), FontSelection{});
  // In the lists Enter is the list's own action: "-->" in "Available fonts".
  window->SelectedList()->setFocus();
  window->SelectedList()->setCurrentRow(5);
  QTest::keyClick(window->SelectedList(), Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), window->AvailableList()) << "the position is chosen, the fonts next";
  Choose({1});
  QTest::keyClick(window->AvailableList(), Qt::Key_Return);
  EXPECT_TRUE(ShownFonts({5}) == "fb" && window->isVisible() && window->SelectedList()->currentRow() == 6)
      << "the target moves past the font placed";
  window->LegacyBox()->setFocus();
  QTest::keyClick(window->LegacyBox(), Qt::Key_Return);
  EXPECT_TRUE(!window->isVisible() && window->result() == QDialog::Accepted && Stored().HasKey(kPortSection, "Codepage"));
}

// Escape and the close box with changes not stored ask: Cancel stays, Discard stores nothing,
// Store stores as OK does; with nothing changed they close without a word.
TEST_F(MainWindowTest, EscapeWithUnstoredChangesAsksAndDiscardStoresNothing) {
  QTest::keyClick(window->AvailableList(), Qt::Key_Escape);
  EXPECT_TRUE(questions.empty() && !window->isVisible()) << "nothing changed: no question";
  window->show();
  Place(0, {0});
  window->CodePageRadio(0)->click();
  choices = {Choice::Cancel, Choice::Second, Choice::First};
  QTest::keyClick(window->AvailableList(), Qt::Key_Escape);
  ASSERT_EQ(questions.size(), 1u);
  EXPECT_EQ(questions[0].text, "Store the changes to the selection before closing?");
  EXPECT_TRUE(window->isVisible()) << "Cancel goes back to the window";
  window->close();  // Discard
  EXPECT_TRUE(!window->isVisible() && window->result() == QDialog::Rejected && !std::filesystem::exists(profilePath))
      << "nothing stored";
  Open();
  Place(0, {0});
  window->close();  // Store
  EXPECT_TRUE(window->result() == QDialog::Accepted && StoredFonts({0}) == "fa");
}

// Fonts dragged from "Available fonts" land on the position they are dropped on; a position
// dragged onto another moves its font there, and the font that was there takes its old place, so
// nothing is lost and every other position keeps its own.
TEST_F(MainWindowTest, DraggingPlacesFontsOnAPositionAndMovesAPositionWithoutLosingTheFontThere) {
  Place(3, {0});
  Place(7, {1});
  Choose({1});
  ASSERT_TRUE(DropOnPosition(window->AvailableList(), 100));
  EXPECT_EQ(window->SelectedList()->currentRow(), 101) << "the target moves past the font placed";
  window->SelectedList()->setCurrentRow(3);
  ASSERT_TRUE(DropOnPosition(window->SelectedList(), 7));  // Font A onto Font B
  EXPECT_EQ(std::to_string(window->SelectedList()->currentRow()) + " " + ShownFonts({3, 7, 100}), "7 fb fa fb");
  ASSERT_TRUE(DropOnPosition(window->SelectedList(), 111));  // onto a free position: a plain move
  EXPECT_EQ(std::pair(std::count(window->Selection().begin(), window->Selection().end(), SelectionSlot{}), Shown(111)),
            std::pair(std::ptrdiff_t{109}, Padded("Font A"))) << "the list shows the move";
  // Fonts from "Available fonts" onto a taken position replace it, as "-->" there does.
  Choose({0});
  ASSERT_TRUE(DropOnPosition(window->AvailableList(), 3));
  EXPECT_EQ(ShownFonts({3, 7, 100, 111}), "fa *** fb fa");
  window->AvailableList()->clearSelection();
  EXPECT_EQ(window->DragData(window->AvailableList()), nullptr) << "no font chosen: nothing to drag";
}

// Ctrl+Home and Ctrl+End in the selected list make the first and the last position the target
// and bring them into view; Ctrl+O and Ctrl+S anywhere in the window are "Load settings" and
// "Save settings".
TEST_F(MainWindowTest, CtrlHomeAndEndReachTheEndsOfTheListAndCtrlOAndSLoadAndSaveSettings) {
  QListWidget* list = window->SelectedList();
  const auto InView = [list](int row) { return list->viewport()->rect().contains(list->visualItemRect(list->item(row))); };
  const int last = kSelectionPositions - 1;
  list->setFocus();
  list->setCurrentRow(50);
  QTest::keyClick(list, Qt::Key_End, Qt::ControlModifier);
  EXPECT_TRUE(list->currentRow() == last && list->item(last)->isSelected() && InView(last) && !InView(0));
  QTest::keyClick(list, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_TRUE(list->currentRow() == 0 && InView(0) && !InView(last));
  QTest::keyClick(list, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(openSpecs.size(), 1u) << "Load settings";
  QTest::keyClick(window->AvailableList(), Qt::Key_S, Qt::ControlModifier);
  EXPECT_TRUE(host.saveRequests.size() == 1 && host.saveRequests[0].defaultExtension == "kvf") << "Save settings";
}

// The file lies in a folder whose name no single-byte code page spells, chosen as a dialog gives
// it (with '/' on every system): it loads, and its folder is kept as the system writes paths.
TEST_F(MainWindowTest, TheOpenDialogStartsInTheFolderLastUsedAndTheProfileKeepsOtherSections) {
  folder.Write("corvelle.ini", "[Someone else]\nkey=value\n");
  Open();
  FontSelection saved;
  saved[2] = {test::Padded("Font B"), FontPath("fb")};
  const QString sub = QString::fromStdString(folder.Path()) + QString::fromUtf8(u8"/Zoë/Печать");
  ASSERT_TRUE(QDir().mkpath(sub));
  QFile kvf(sub + QStringLiteral("/line 7.kvf"));
  ASSERT_TRUE(kvf.open(QIODevice::WriteOnly) && kvf.write(QByteArray::fromStdString(SerializeSettings(saved))) > 0);
  kvf.close();
  openPaths = {QDir::fromNativeSeparators(kvf.fileName())};
  Click(IDC_LOAD_SETTINGS);
  EXPECT_EQ(std::pair(openSpecs.back().directory, window->Selection()),
            std::pair(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation), saved)) << "nothing remembered yet";
  Open();
  Click(IDC_LOAD_SETTINGS);
  const QString native = QDir::toNativeSeparators(sub);
  EXPECT_EQ(QDir::toNativeSeparators(openSpecs.back().directory), native);
  EXPECT_EQ(Stored().GetString("Someone else", "key", "") + "|" + Stored().GetString(kProgramSection, kLastFolderKey, ""),
            "value|" + native.toStdString());
}

// The port dialog's OK stores what it shows; Escape there stores nothing.
TEST_F(MainWindowTest, ThePortSettingsAreStoredAfterTheDialogsOkAndNotAfterEscape) {
  for (const auto& [port, ok] : {std::pair{"LPT2:", true}, {"FILE", false}}) {
    workDialog = [port, ok](QDialog& dialog) {
      auto& comm = dynamic_cast<CCommPortDlg&>(dialog);
      test::ChoosePort(comm.PortList(), QString::fromLatin1(port));
      ok ? comm.accept() : QTest::keyClick(&comm, Qt::Key_Escape);
    };
    Click(IDC_COMM_PORT);
    EXPECT_EQ(window->Port().portName + " " + Stored().GetString(kPortSection, "Port", ""), "LPT2: LPT2:") << port;
  }
}

}  // namespace
}  // namespace corvelle
