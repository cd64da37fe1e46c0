// The main window's controls and lists: what it shows when it opens, "-->", "<--", "Empty list",
// the GN1 check box and its question, the code-page radios and the preview.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QFontInfo>
#include <QLabel>
#include <QRadioButton>

#include "MainWindowTesting.h"
#include "app/DialogUnits.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

using namespace layouts;

class MainDlgTest : public ::testing::Test, public test::MainWindowFixture {
 protected:
  std::string Shown(int position) const { return window->SelectedList()->item(position)->text().toStdString(); }
};

TEST_F(MainDlgTest, OpensOnTheStoredCodePageAndSelection) {
  {
    Profile seed(profilePath);
    seed.WriteString(kSelectionSection, "Font003", "/old/FontExt/x.she");
    seed.WriteString(kSelectionSection, "FontDialog003", "Old font");
    ASSERT_TRUE(seed.Save());
  }
  CMainDlg& w = Open();
  EXPECT_EQ(w.windowTitle(), QStringLiteral("VARNESI - Corvelle"));
  EXPECT_EQ(w.size(), DialogUnits(DialogFont()).ToPixels(347, 332));
  EXPECT_FALSE(w.windowIcon().isNull());
  // Without a stored code page the Win1252 list comes first.
  EXPECT_EQ(w.CodePageChoice(), 2);
  EXPECT_TRUE(w.CodePageRadio(2)->isChecked());
  ASSERT_EQ(w.AvailableList()->count(), 6);
  EXPECT_EQ(w.AvailableList()->item(0)->text(), QString::fromStdString(test::Padded("Font A")));
  ASSERT_EQ(w.SelectedList()->count(), 112);
  EXPECT_EQ(Shown(0), "***");
  EXPECT_EQ(Shown(2), "Old font");
  EXPECT_EQ(w.Selection()[2].fontPath, "/old/FontExt/x.she");
  EXPECT_FALSE(w.LegacyBox()->isChecked());
  EXPECT_TRUE(w.PreviewArea()->text().isEmpty());
  EXPECT_TRUE(w.Button(IDOK)->isDefault());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(MainDlgTest, ControlsFollowTheTemplateInPlaceAndTabOrder) {
  CMainDlg& w = Open();
  const DialogUnits units(DialogFont());
  EXPECT_EQ(w.AvailableList()->geometry(), units.ToPixels(DlgRect{5, 86, 100, 100}));
  EXPECT_EQ(w.Button(IDC_CREATE_FILE)->geometry(), units.ToPixels(DlgRect{270, 121, 70, 30}));
  EXPECT_EQ(w.Button(IDC_CREATE_FILE)->text(), QStringLiteral("Create file\nto download"));
  EXPECT_EQ(w.Button(IDC_EMPTY_LIST)->text(), QStringLiteral("Empty\nlist"));
  EXPECT_EQ(w.Button(IDC_COMM_PORT)->text(), QStringLiteral("Communication\nport"));
  EXPECT_EQ(w.PreviewArea()->geometry(), units.ToPixels(DlgRect{5, 209, 255, 75}));
  // The tab chain visits the focusable controls in template order, the hidden lists not at all.
  QStringList chain;
  QWidget* at = w.AvailableList();
  do {
    if (at->focusPolicy() & Qt::TabFocus && !at->objectName().isEmpty() && at->parentWidget() == &w) {
      chain << at->objectName();
    }
    at = at->nextInFocusChain();
  } while (at != w.AvailableList());
  EXPECT_EQ(chain, QStringList({"343", "189", "188", "340", "355", "356", "357", "358", "364", "1000", "1001", "1",
                                "1003", "1004", "1005", "1006", "1011", "1012", "1007"}));
}

TEST_F(MainDlgTest, AddAtPosition110PlacesTwoFontsAndDropsTheRest) {
  Open();
  SelectPosition(110);
  SelectAvailable({4, 0, 1, 2, 3});
  Click(IDC_ADD);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(Shown(110), test::Padded("Font A"));
  EXPECT_EQ(Shown(111), test::Padded("Font B"));
  EXPECT_EQ(window->Selection()[110].fontPath, FontPath("fa"));
  EXPECT_EQ(window->Selection()[111].fontPath, FontPath("fb"));
  EXPECT_EQ(Shown(109), "***");
  EXPECT_TRUE(window->SelectedList()->selectedItems().isEmpty());
  // Nothing is selected now, so a second press asks for a destination.
  Click(IDC_ADD);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{std::string(LoadStr(IDS_SELECT_DESTINATION))});
  EXPECT_EQ(host.messages[0].style, MessageStyle::Plain);
}

TEST_F(MainDlgTest, AddWithAnEmptyCatalogueAsksForAFont) {
  Open();
  window->CodePageRadio(3)->click();  // Win1253: no index file
  EXPECT_EQ(window->AvailableList()->count(), 0);
  SelectPosition(0);
  Click(IDC_ADD);
  EXPECT_EQ(MessageTexts(), std::vector<std::string>{std::string(LoadStr(IDS_SELECT_AVAILABLE))});
  EXPECT_EQ(Shown(0), "***");
  EXPECT_FALSE(window->SelectedList()->selectedItems().isEmpty());
}

TEST_F(MainDlgTest, RemoveAndEmptyFreePositions) {
  Open();
  SelectPosition(5);
  SelectAvailable({2, 3});
  Click(IDC_ADD);
  SelectPosition(6);
  Click(IDC_REMOVE);
  EXPECT_EQ(Shown(5), test::Padded("Font C"));
  EXPECT_EQ(Shown(6), "***");
  EXPECT_EQ(window->Selection()[6], SelectionSlot{});
  EXPECT_TRUE(window->SelectedList()->selectedItems().isEmpty());
  Click(IDC_REMOVE);  // no position selected: nothing, silently
  EXPECT_EQ(Shown(5), test::Padded("Font C"));
  Click(IDC_EMPTY_LIST);
  EXPECT_EQ(window->Selection(), FontSelection{});
  EXPECT_EQ(Shown(5), "***");
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(MainDlgTest, TheGn1QuestionCancelKeepsTheFontsAndClearsTheBox) {
  Open();
  SelectPosition(8);
  SelectAvailable({0});
  Click(IDC_ADD);
  host.answers.push_back(MessageAnswer::Cancel);
  window->LegacyBox()->click();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, LoadStr(IDS_MAX_8_FONTS));
  EXPECT_EQ(host.messages[0].style, MessageStyle::Question);
  EXPECT_FALSE(window->LegacyBox()->isChecked());
  EXPECT_EQ(window->LegacyFormat(), 0);
  EXPECT_EQ(Shown(8), test::Padded("Font A"));
}

TEST_F(MainDlgTest, TheGn1QuestionOkFreesEveryPositionFromEightOn) {
  Open();
  SelectPosition(7);
  SelectAvailable({0, 1, 2});
  Click(IDC_ADD);
  host.answers.push_back(MessageAnswer::Ok);
  window->LegacyBox()->click();
  EXPECT_EQ(host.messages.size(), 1u);
  EXPECT_TRUE(window->LegacyBox()->isChecked());
  EXPECT_EQ(Shown(7), test::Padded("Font A"));
  EXPECT_EQ(Shown(8), "***");
  EXPECT_EQ(Shown(9), "***");
  // With the box set, an add beyond position 7 asks at once; OK frees the font just added.
  SelectPosition(20);
  SelectAvailable({5});
  host.answers.push_back(MessageAnswer::Ok);
  Click(IDC_ADD);
  EXPECT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(Shown(20), "***");
  EXPECT_TRUE(window->LegacyBox()->isChecked());
}

TEST_F(MainDlgTest, TheGn1BoxAsksNothingWhenOnlyTheFirstEightAreUsed) {
  Open();
  SelectPosition(0);
  SelectAvailable({0});
  Click(IDC_ADD);
  window->LegacyBox()->click();
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(window->LegacyFormat(), 1);
}

TEST_F(MainDlgTest, SwitchingTheCodePageReloadsTheListAndKeepsSelectionAndPreview) {
  Open();
  SelectPosition(0);
  SelectAvailable({0});
  Click(IDC_ADD);
  window->AvailableList()->setCurrentRow(2);
  const QFont preview = window->PreviewArea()->font();
  window->CodePageRadio(0)->click();
  EXPECT_EQ(window->CodePageChoice(), 0);
  ASSERT_EQ(window->AvailableList()->count(), 3);
  EXPECT_EQ(window->AvailableList()->item(0)->text().trimmed(), QStringLiteral("East A"));
  EXPECT_EQ(Shown(0), test::Padded("Font A"));
  EXPECT_EQ(window->PreviewArea()->text(), QStringLiteral("123 Sample"));
  EXPECT_EQ(window->PreviewArea()->font(), preview);
  // Fonts of different code pages mix in one selection.
  SelectPosition(1);
  SelectAvailable({2});
  Click(IDC_ADD);
  EXPECT_EQ(window->Selection()[1].fontPath, FontPath("ec"));
}

TEST_F(MainDlgTest, ClickingTheCheckedRadioReadsTheIndexFileAgain) {
  Open();
  folder.Write("FontExt/Index1252.shi", test::Index1250());
  EXPECT_EQ(window->AvailableList()->count(), 6);
  window->CodePageRadio(2)->click();
  EXPECT_EQ(window->CodePageChoice(), 2);
  EXPECT_EQ(window->AvailableList()->count(), 3);
}

TEST_F(MainDlgTest, AStoredCodePageOutsideTheGroupChecksNoRadioAndListsNothing) {
  {
    Profile seed(profilePath);
    seed.WriteInt(kPortSection, "Codepage", 9);
    ASSERT_TRUE(seed.Save());
  }
  Open();
  for (int choice = 0; choice < 6; ++choice) EXPECT_FALSE(window->CodePageRadio(choice)->isChecked());
  EXPECT_EQ(window->AvailableList()->count(), 0);
  window->CodePageRadio(4)->click();  // "All codepages": no index file here either
  EXPECT_EQ(window->CodePageChoice(), 4);
}

TEST_F(MainDlgTest, PreviewUsesTheRecordsFont) {
  Open();
  window->AvailableList()->setCurrentRow(2);  // height 12, bold, underlined
  QLabel* area = window->PreviewArea();
  EXPECT_EQ(area->text(), QStringLiteral("123 Sample"));
  EXPECT_EQ(area->font().pixelSize(), 12);
  EXPECT_EQ(area->font().weight(), QFont::Bold);
  EXPECT_TRUE(area->font().underline());
  EXPECT_FALSE(area->font().italic());
  EXPECT_EQ(QFontInfo(area->font()).family(), QStringLiteral("DejaVu Sans"));

  window->AvailableList()->setCurrentRow(1);  // height 14, flag byte set but not bold, italic
  EXPECT_EQ(area->font().pixelSize(), 14);
  EXPECT_EQ(area->font().weight(), QFont::Normal);
  EXPECT_TRUE(area->font().italic());
  EXPECT_EQ(QFontInfo(area->font()).family(), QStringLiteral("DejaVu Serif"));

  window->AvailableList()->setCurrentRow(4);  // a face that is not installed still previews
  EXPECT_EQ(area->text(), QStringLiteral("123 Sample"));
  EXPECT_EQ(area->font().pixelSize(), 20);
  EXPECT_FALSE(QFontInfo(area->font()).family().isEmpty());

  window->AvailableList()->setCurrentRow(-1);  // no current item: the area is cleared
  EXPECT_TRUE(area->text().isEmpty());
  EXPECT_TRUE(host.messages.empty());
}

TEST(MakePreviewFont, HeightZeroKeepsTheBaseSize) {
  QFont base(QStringLiteral("DejaVu Sans"));
  base.setPointSize(8);
  PreviewFont preview;
  preview.faceName = "DejaVu Serif";
  const QFont font = MakePreviewFont(preview, base);
  EXPECT_EQ(font.pointSize(), 8);
  EXPECT_EQ(font.family(), QStringLiteral("DejaVu Serif"));
  EXPECT_EQ(font.weight(), QFont::Normal);
}

}  // namespace
}  // namespace corvelle
