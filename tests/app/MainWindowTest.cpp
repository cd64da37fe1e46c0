// SPDX-License-Identifier: MIT
// The main window as people live with it: its template rectangles at the default size, how it
// grows and its smallest size on a small screen at twice the scale, the keyboard (mnemonics, tab
// order, the code-page radio, Enter, Ctrl with Home, End, O and S), accessible names, the numbered
// positions, dropped settings files and fonts dragged onto and between positions, the starting
// folder of the open dialog, and which builder and download each button runs.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMimeData>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QStandardPaths>
#include <QUrl>
#include <algorithm>
#include <filesystem>
#include <iostream>
#include <memory>
#include <set>

#include "app/CommPortDlg.h"
#include "app/MainDlg.h"
#include "app/RecentFolder.h"
#include "app/SelectionListView.h"
#include "catalogue/SelectionProfile.h"
#include "base/Paths.h"
#include "base/Profile.h"
#include "catalogue/CatalogueTesting.h"
#include "catalogue/SettingsFile.h"
#include "resources/Layouts.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

using namespace layouts;

class MainWindowTest : public ::testing::Test {
 protected:
  MainWindowTest() {
    folder.Write("FontExt/Index1252.shi", test::IndexRecord({"fa", "DejaVu Sans", "Font A", 1, 10, 0, 0, 0, 0}) +
                                              test::IndexRecord({"fb", "DejaVu Sans", "Font B", 2, 10, 0, 0, 0, 0}));
    folder.Write("FontExt/Index1251.shi", test::IndexRecord({"ca", "DejaVu Sans", "Cyr A", 1, 10, 0, 0, 0, 0}));
    Open();
  }
  void Open() {
    window.reset();
    profile = std::make_unique<Profile>(folder.File("corvelle.ini"));
    PrinterActions actions;
    actions.download = [this](const FontSetJob&, bool legacy, const std::function<bool()>&) {
      return downloads.push_back(legacy ? "legacy" : "current"), true;
    };
    window = std::make_unique<CMainDlg>(MainDlgContext{
        host, *profile, folder.Path(), actions, [](const std::string&) { return false; },
        [this](QDialog& dialog) {
          if (!workDialog) return static_cast<int>(QDialog::Rejected);
          dialog.show();
          workDialog(dialog);
          return dialog.result();
        },
        [this](const OpenDialogSpec& spec) {
          openSpecs.push_back(spec);
          return openAnswer;
        },
        [this](const ChoiceQuestion& question) {
          questions.push_back(question.text);
          return closeAnswer;
        }});
    window->show();
    QApplication::setActiveWindow(window.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
  }
  QWidget* Control(int id) const { return window->findChild<QWidget*>(QString::number(id)); }
  void Place(int position, int row) {
    window->SelectedList()->setCurrentRow(position);
    window->AvailableList()->clearSelection();
    window->AvailableList()->item(row)->setSelected(true);
    window->Button(IDC_ADD)->click();
  }
  QString Spoken(int row) const { return window->SelectedList()->item(row)->data(Qt::AccessibleTextRole).toString(); }
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
  std::string Name(int position) const { return window->Selection()[static_cast<std::size_t>(position)].displayName; }

  test::TempDir folder;
  test::FakeHost host;
  std::unique_ptr<Profile> profile;
  std::unique_ptr<CMainDlg> window;
  std::vector<std::string> downloads;
  std::vector<OpenDialogSpec> openSpecs;
  std::optional<QString> openAnswer;
  std::vector<std::string> questions;  // the window's own questions, asked
  Choice closeAnswer = Choice::Cancel;
  std::function<void(QDialog&)> workDialog;  // acts as the user in a dialog the window runs
};

// Growing the window stretches only the lists and the preview; the buttons keep their size and
// follow their anchors.
TEST_F(MainWindowTest, AtTheDefaultSizeGrowingStretchesOnlyListsAndPreview) {
  EXPECT_EQ(window->font(), QApplication::font()) << "the desktop's font";
  const QSize templateSize = window->size();
  EXPECT_EQ(window->minimumSize(), templateSize);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(window->windowFlags() & Qt::WindowMaximizeButtonHint);

  std::map<int, QRect> before;
  for (int id : {IDC_AVAILABLE_LIST, IDC_SELECTED_LIST, IDC_PREVIEW, IDOK, IDC_DOWNLOAD, IDC_LOAD_SETTINGS, IDC_ADD}) {
    before[id] = Control(id)->geometry();
  }
  window->resize(templateSize + QSize(200, 120));
  const auto after = [&](int id) { return Control(id)->geometry(); };
  for (int id : {IDC_AVAILABLE_LIST, IDC_SELECTED_LIST}) {
    EXPECT_EQ(after(id).size(), before[id].size() + QSize(100, 60)) << id;
  }
  EXPECT_EQ(after(IDC_PREVIEW).size(), before[IDC_PREVIEW].size() + QSize(200, 60));
  for (int id : {IDOK, IDC_DOWNLOAD, IDC_LOAD_SETTINGS, IDC_ADD}) EXPECT_EQ(after(id).size(), before[id].size()) << id;
  EXPECT_EQ(after(IDC_DOWNLOAD).topLeft(), before[IDC_DOWNLOAD].topLeft() + QPoint(200, 0)) << "stays on the right";
  EXPECT_EQ(after(IDOK).topLeft(), before[IDOK].topLeft() + QPoint(200, 120));
  EXPECT_EQ(after(IDC_LOAD_SETTINGS).topLeft(), before[IDC_LOAD_SETTINGS].topLeft() + QPoint(0, 120));
  EXPECT_FALSE(after(IDC_ADD).intersects(after(IDC_AVAILABLE_LIST)) || after(IDC_ADD).intersects(after(IDC_SELECTED_LIST)));
}

// At its smallest size, placed at the top left of the screen's free area, the window lies wholly
// in that area with every control inside it: on the tests' own screen, and again (the next test)
// on a 1600x1000 screen at twice the scale, where the template's size would not fit.
TEST_F(MainWindowTest, AtItsSmallestSizeTheWindowAndEveryControlFitTheScreensFreeArea) {
  const QRect free = window->screen()->availableGeometry();
  std::cout << "screen " << free.width() << "x" << free.height() << " at " << window->devicePixelRatio() << "x\n";
  window->resize(window->minimumSize());
  window->move(free.topLeft());
  EXPECT_TRUE(free.contains(window->frameGeometry()));
  for (QWidget* control : window->findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
    if (!control->isVisible()) continue;
    EXPECT_TRUE(window->rect().contains(control->geometry())) << control->objectName().toStdString();
  }
}

TEST(MainWindowAtTwiceTheScale, OnA1600By1000ScreenTheSmallestWindowStillFits) {
  const test::TempDir dir;
  dir.Write("screen.json", R"({"screens": [{"name": "wide", "x": 0, "y": 0, "width": 1600, "height": 1000, "logicalDpi": 96}]})");
  QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
  environment.insert(QStringLiteral("QT_SCALE_FACTOR"), QStringLiteral("2"));
  QProcess child;
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
  EXPECT_EQ(window->Button(IDC_ADD)->accessibleName(), QStringLiteral("Add to selection"));
  EXPECT_EQ(window->Button(IDC_REMOVE)->accessibleName(), QStringLiteral("Remove from selection"));
  EXPECT_EQ(window->AvailableList()->accessibleName(), QStringLiteral("Available fonts"));
  EXPECT_EQ(window->SelectedList()->accessibleName(), QStringLiteral("Selected fonts"));
  EXPECT_FALSE(window->PreviewArea()->accessibleName().isEmpty());
  // Alt+N goes to the selected list, Alt+Right is "-->".
  QTest::keyClick(window.get(), Qt::Key_N, Qt::AltModifier);
  EXPECT_EQ(QApplication::focusWidget(), window->SelectedList());
  window->SelectedList()->setCurrentRow(3);
  window->AvailableList()->item(1)->setSelected(true);
  window->AvailableList()->setFocus();
  QTest::keyClick(window->AvailableList(), Qt::Key_Right, Qt::AltModifier);
  // A button's shortcut clicks it after a short animation.
  EXPECT_TRUE(QTest::qWaitFor([&] { return window->Selection()[3].displayName.starts_with("Font B"); }, 2000));
}

TEST_F(MainWindowTest, TabGoesInReadingOrderAndEntersTheCodePagesAtTheCheckedRadio) {
  window->AvailableList()->setFocus();
  std::vector<int> order;
  for (int i = 0; i < 14; ++i) {
    order.push_back(QApplication::focusWidget()->objectName().toInt());
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  }
  EXPECT_EQ(order, (std::vector<int>{IDC_AVAILABLE_LIST, IDC_ADD, IDC_REMOVE, IDC_SELECTED_LIST, IDC_LEGACY,
                                     IDC_EMPTY_LIST, IDC_LOAD_SETTINGS, IDC_SAVE_SETTINGS, IDC_CREATE_FILE,
                                     IDC_DOWNLOAD, IDC_COMM_PORT, IDOK, IDC_CP1252, IDC_ABOUT}));
  // Another choice moves the Tab stop with it.
  window->CodePageRadio(1)->click();
  window->Button(IDOK)->setFocus();
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
  EXPECT_EQ(QApplication::focusWidget(), window->CodePageRadio(1));
}

TEST_F(MainWindowTest, EnterPressesTheFocusedButtonActsInTheListsAndElsewhereIsOk) {
  Place(0, 0);
  EXPECT_TRUE(window->Button(IDOK)->isDefault());
  window->Button(IDC_EMPTY_LIST)->setFocus();
  QTest::keyClick(window->Button(IDC_EMPTY_LIST), Qt::Key_Return);
  EXPECT_EQ(window->Selection(), FontSelection{});
  EXPECT_TRUE(window->isVisible());
  // In the lists Enter is the list's own action: "-->" in "Available fonts".
  window->SelectedList()->setFocus();
  window->SelectedList()->setCurrentRow(5);
  QTest::keyClick(window->SelectedList(), Qt::Key_Return);
  EXPECT_EQ(QApplication::focusWidget(), window->AvailableList()) << "the position is chosen, the fonts next";
  window->AvailableList()->clearSelection();
  window->AvailableList()->item(1)->setSelected(true);
  QTest::keyClick(window->AvailableList(), Qt::Key_Return);
  EXPECT_TRUE(window->Selection()[5].displayName.starts_with("Font B"));
  EXPECT_EQ(window->SelectedList()->currentRow(), 6) << "the target moves past the font placed";
  EXPECT_TRUE(window->isVisible());
  window->LegacyBox()->setFocus();
  QTest::keyClick(window->LegacyBox(), Qt::Key_Return);
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->result(), QDialog::Accepted);
  EXPECT_TRUE(Profile(folder.File("corvelle.ini")).HasKey(kPortSection, "Codepage"));
}

// Escape and the close box with changes not stored ask: Cancel stays, Discard stores nothing;
// with nothing changed they close without a word.
TEST_F(MainWindowTest, EscapeWithUnstoredChangesAsksAndDiscardStoresNothing) {
  QTest::keyClick(window->AvailableList(), Qt::Key_Escape);
  EXPECT_TRUE(questions.empty() && !window->isVisible()) << "nothing changed: no question";
  window->show();
  Place(0, 0);
  window->CodePageRadio(0)->click();
  QTest::keyClick(window->AvailableList(), Qt::Key_Escape);
  EXPECT_EQ(questions, std::vector<std::string>{"Store the changes to the selection before closing?"});
  EXPECT_TRUE(window->isVisible()) << "Cancel goes back to the window";
  closeAnswer = Choice::Second;
  window->close();
  EXPECT_FALSE(window->isVisible());
  EXPECT_EQ(window->result(), QDialog::Rejected);
  EXPECT_FALSE(std::filesystem::exists(folder.File("corvelle.ini"))) << "nothing stored";
}

TEST_F(MainWindowTest, StoreInTheCloseQuestionStoresAsOkDoes) {
  Place(0, 0);
  closeAnswer = Choice::First;
  window->close();
  EXPECT_EQ(window->result(), QDialog::Accepted);
  EXPECT_TRUE(LoadSelectionFromProfile(Profile(folder.File("corvelle.ini")))[0].displayName.starts_with("Font A"));
}

TEST_F(MainWindowTest, PositionsShowTheirNumbersAndFreeOnesAreGreyedWithoutChangingTheTexts) {
  EXPECT_EQ(PositionNumber(0) + PositionNumber(56) + PositionNumber(111), QStringLiteral("001057112"));
  EXPECT_EQ(Spoken(56), QStringLiteral("Position 057: free"));
  const QBrush freeBrush = window->SelectedList()->item(56)->foreground();
  Place(56, 0);
  EXPECT_EQ(Spoken(56), QStringLiteral("Position 057: Font A"));
  EXPECT_EQ(window->SelectedList()->item(56)->text().toStdString(), window->Selection()[56].displayName);
  EXPECT_NE(window->SelectedList()->item(56)->foreground(), freeBrush);
  EXPECT_EQ(window->SelectedList()->item(55)->foreground(), freeBrush);
  window->SelectedList()->setCurrentRow(56);
  window->Button(IDC_REMOVE)->click();  // "<--" frees it again
  EXPECT_EQ(Spoken(56), QStringLiteral("Position 057: free"));
}

TEST_F(MainWindowTest, ADroppedSettingsFileLoadsAndOtherDropsAreRefused) {
  FontSelection saved;
  saved[4] = {test::Padded("Font B"), FontExtFolder(folder.Path()) + "fb.she"};
  const std::string kvf = folder.Write("drop.KVF", SerializeSettings(saved));
  const std::string txt = folder.Write("drop.txt", SerializeSettings(saved));
  const auto drag = [&](const std::string& path) {
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(path))});
    return Drop(window.get(), QPoint(10, 10), data);
  };
  EXPECT_FALSE(drag(txt));
  EXPECT_EQ(window->Selection(), FontSelection{});
  EXPECT_TRUE(drag(kvf));
  EXPECT_EQ(window->Selection(), saved);
  EXPECT_EQ(window->SelectedList()->item(4)->text().toStdString(), saved[4].displayName);
}

// Fonts dragged from "Available fonts" land on the position they are dropped on; a position
// dragged onto another moves its font there, and the font that was there takes its old place, so
// nothing is lost and every other position keeps its own.
TEST_F(MainWindowTest, DraggingPlacesFontsOnAPositionAndMovesAPositionWithoutLosingTheFontThere) {
  Place(3, 0);
  Place(7, 1);
  window->AvailableList()->clearSelection();
  window->AvailableList()->item(1)->setSelected(true);
  ASSERT_TRUE(DropOnPosition(window->AvailableList(), 100));
  EXPECT_TRUE(Name(100).starts_with("Font B"));
  EXPECT_EQ(window->SelectedList()->currentRow(), 101) << "the target moves past the font placed";

  window->SelectedList()->setCurrentRow(3);
  ASSERT_TRUE(DropOnPosition(window->SelectedList(), 7));  // Font A onto Font B
  EXPECT_TRUE(Name(7).starts_with("Font A") && Name(3).starts_with("Font B")) << Name(3) << "|" << Name(7);
  EXPECT_TRUE(Name(100).starts_with("Font B"));
  EXPECT_EQ(window->SelectedList()->currentRow(), 7);
  ASSERT_TRUE(DropOnPosition(window->SelectedList(), 111));  // onto a free position: a plain move
  EXPECT_TRUE(Name(111).starts_with("Font A"));
  EXPECT_EQ(Name(7), SelectionSlot{}.displayName);
  EXPECT_EQ(std::count(window->Selection().begin(), window->Selection().end(), SelectionSlot{}), 109);
  EXPECT_EQ(window->SelectedList()->item(111)->text().toStdString(), Name(111)) << "the list shows the move";

  // Fonts from "Available fonts" onto a taken position replace it, as "-->" there does.
  window->AvailableList()->clearSelection();
  window->AvailableList()->item(0)->setSelected(true);
  ASSERT_TRUE(DropOnPosition(window->AvailableList(), 3));
  EXPECT_TRUE(Name(3).starts_with("Font A"));
  window->AvailableList()->clearSelection();
  EXPECT_EQ(window->DragData(window->AvailableList()), nullptr) << "no font chosen: nothing to drag";
}

// Ctrl+Home and Ctrl+End in the selected list make the first and the last position the target
// and bring them into view; Ctrl+O and Ctrl+S anywhere in the window are "Load settings" and
// "Save settings".
TEST_F(MainWindowTest, CtrlHomeAndEndReachTheEndsOfTheListAndCtrlOAndSLoadAndSaveSettings) {
  QListWidget* list = window->SelectedList();
  const auto InView = [list](int row) { return list->viewport()->rect().contains(list->visualItemRect(list->item(row))); };
  list->setFocus();
  list->setCurrentRow(50);
  QTest::keyClick(list, Qt::Key_End, Qt::ControlModifier);
  EXPECT_EQ(list->currentRow(), kSelectionPositions - 1);
  EXPECT_TRUE(list->item(kSelectionPositions - 1)->isSelected());
  EXPECT_TRUE(InView(kSelectionPositions - 1) && !InView(0));
  QTest::keyClick(list, Qt::Key_Home, Qt::ControlModifier);
  EXPECT_EQ(list->currentRow(), 0);
  EXPECT_TRUE(InView(0) && !InView(kSelectionPositions - 1));

  QTest::keyClick(list, Qt::Key_O, Qt::ControlModifier);
  EXPECT_EQ(openSpecs.size(), 1u) << "Load settings";
  window->AvailableList()->setFocus();
  QTest::keyClick(window->AvailableList(), Qt::Key_S, Qt::ControlModifier);
  ASSERT_EQ(host.saveRequests.size(), 1u) << "Save settings";
  EXPECT_EQ(host.saveRequests[0].defaultExtension, "kvf");
}

// The file lies in a folder whose name no single-byte code page spells, chosen as a dialog gives
// it (with '/' on every system): it loads, and its folder is kept as the system writes paths.
TEST_F(MainWindowTest, TheOpenDialogStartsInTheFolderLastUsedAndTheProfileKeepsOtherSections) {
  folder.Write("corvelle.ini", "[Someone else]\nkey=value\n");
  Open();
  FontSelection saved;
  saved[2] = {test::Padded("Font B"), FontExtFolder(folder.Path()) + "fb.she"};
  const QString sub = QString::fromStdString(folder.Path()) + QString::fromUtf8(u8"/Zoë/Печать");
  ASSERT_TRUE(QDir().mkpath(sub));
  QFile kvf(sub + QStringLiteral("/line 7.kvf"));
  ASSERT_TRUE(kvf.open(QIODevice::WriteOnly) && kvf.write(QByteArray::fromStdString(SerializeSettings(saved))) > 0);
  kvf.close();
  openAnswer = QDir::fromNativeSeparators(kvf.fileName());
  window->Button(IDC_LOAD_SETTINGS)->click();
  EXPECT_EQ(openSpecs.back().directory, QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)) << "nothing remembered yet";
  EXPECT_EQ(window->Selection(), saved);
  Open();
  window->Button(IDC_LOAD_SETTINGS)->click();
  const QString native = QDir::toNativeSeparators(sub);
  EXPECT_EQ(QDir::toNativeSeparators(openSpecs.back().directory), native);
  const Profile stored(folder.File("corvelle.ini"));
  EXPECT_EQ(stored.GetString("Someone else", "key", ""), "value");
  EXPECT_EQ(stored.GetString(kProgramSection, kLastFolderKey, ""), native.toStdString());
}

TEST_F(MainWindowTest, ThePreviewIsFramedCentredAndInTheScriptOfTheCyrillicList) {
  EXPECT_NE(window->PreviewArea()->frameShape(), QFrame::NoFrame);
  EXPECT_TRUE(window->PreviewArea()->alignment() & Qt::AlignHCenter);
  window->AvailableList()->setCurrentRow(0);
  EXPECT_EQ(window->PreviewArea()->text(), QStringLiteral("123 Sample"));
  window->CodePageRadio(1)->click();
  window->AvailableList()->setCurrentRow(0);
  EXPECT_TRUE(window->PreviewArea()->text().contains(QChar(0x041E))) << window->PreviewArea()->text().toStdString();
}

// Download with the GN1 box runs the legacy build and download.
TEST_F(MainWindowTest, TheGn1BoxChoosesTheLegacyDownload) {
  window->Button(IDC_DOWNLOAD)->click();
  window->LegacyBox()->click();
  window->Button(IDC_DOWNLOAD)->click();
  EXPECT_EQ(downloads, (std::vector<std::string>{"current", "legacy"}));
}

// The port dialog's OK stores what it shows; Escape there stores nothing.
TEST_F(MainWindowTest, ThePortSettingsAreStoredAfterTheDialogsOkAndNotAfterEscape) {
  const auto choose = [this](const char* port, bool ok) {
    workDialog = [port, ok](QDialog& dialog) {
      auto& comm = dynamic_cast<CCommPortDlg&>(dialog);
      const int index = comm.PortList()->findText(QString::fromLatin1(port));
      comm.PortList()->setCurrentIndex(index);
      emit comm.PortList()->activated(index);
      if (ok) {
        comm.accept();
      } else {
        QTest::keyClick(&comm, Qt::Key_Escape);
      }
    };
    window->Button(IDC_COMM_PORT)->click();
  };
  choose("LPT2:", true);
  EXPECT_EQ(window->Port().portName, "LPT2:");
  EXPECT_EQ(Profile(folder.File("corvelle.ini")).GetString(kPortSection, "Port", ""), "LPT2:");
  choose("FILE", false);
  EXPECT_EQ(window->Port().portName, "LPT2:");
  EXPECT_EQ(Profile(folder.File("corvelle.ini")).GetString(kPortSection, "Port", ""), "LPT2:");
}

}  // namespace
}  // namespace corvelle
