// The printer serial port setup dialog: its lists, the stored positions it shows, which changes
// reach the positions at once, and what OK and Cancel keep.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "setup/SerialSetupDlg.h"

namespace corvelle {
namespace {

QStringList Entries(const QComboBox* list) {
  QStringList entries;
  for (int i = 0; i < list->count(); ++i) entries << list->itemText(i);
  return entries;
}

// Opened as the port dialog opens it: positions set, then shown.
class SerialSetupDlgTest : public ::testing::Test {
 protected:
  void Open(int speed, int parity, int dataBits, int stopBits) {
    dialog.speedIndex = speed;
    dialog.parityIndex = parity;
    dialog.dataBitsIndex = dataBits;
    dialog.stopBitsIndex = stopBits;
    dialog.show();
  }
  // Picks the next entry with the keyboard, as a user does.
  static void ChooseNext(QComboBox* list) { QTest::keyClick(list, Qt::Key_Down); }

  CSerialSetupDlg dialog;
};

TEST_F(SerialSetupDlgTest, StartsWithNothingChosenAndTheTemplateLists) {
  EXPECT_EQ(dialog.speedIndex, -1);
  EXPECT_EQ(dialog.dataBitsIndex, -1);
  EXPECT_EQ(dialog.parityIndex, -1);
  EXPECT_EQ(dialog.stopBitsIndex, -1);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("Printer serial port setup"));
  EXPECT_EQ(Entries(dialog.BaudList()), QStringList({"2400", "4800", "9600", "19200", "38400"}));
  EXPECT_EQ(Entries(dialog.ParityList()), QStringList({"None", "Even", "Odd"}));  // no fourth entry here
  EXPECT_EQ(Entries(dialog.DataBitsList()), QStringList({"7", "8"}));
  EXPECT_EQ(Entries(dialog.StopBitsList()), QStringList({"1", "2"}));
  EXPECT_EQ(dialog.findChild<QComboBox*>(QStringLiteral("215")), dialog.BaudList());
}

TEST_F(SerialSetupDlgTest, ShowsStoredPositionsIncludingTheAddedSpeed) {
  Open(5, 2, 1, 0);
  EXPECT_EQ(dialog.BaudList()->count(), 6);
  EXPECT_EQ(dialog.BaudList()->currentText(), QStringLiteral("57600"));
  EXPECT_EQ(dialog.ParityList()->currentText(), QStringLiteral("Odd"));
  EXPECT_EQ(dialog.DataBitsList()->currentText(), QStringLiteral("8"));
  EXPECT_EQ(dialog.StopBitsList()->currentText(), QStringLiteral("1"));
  EXPECT_TRUE(dialog.DataBitsList()->isEnabled());
  EXPECT_TRUE(dialog.StopBitsList()->isEnabled());
  EXPECT_EQ(dialog.speedIndex, 5);  // read back by the initial parity handling
  dialog.hide();
  dialog.show();  // showing again does not add another speed
  EXPECT_EQ(dialog.BaudList()->count(), 6);
}

TEST_F(SerialSetupDlgTest, PositionsTheListsDoNotHoldSelectNothing) {
  Open(7, 3, -1, 2);
  EXPECT_EQ(dialog.BaudList()->currentIndex(), -1);
  EXPECT_EQ(dialog.ParityList()->currentIndex(), -1);
  EXPECT_EQ(dialog.StopBitsList()->currentIndex(), -1);
  EXPECT_EQ(dialog.speedIndex, -1);
  EXPECT_EQ(dialog.parityIndex, -1);
}

TEST_F(SerialSetupDlgTest, SpeedAndParityChoicesReachThePositionsAtOnce) {
  Open(2, 0, 1, 0);
  ChooseNext(dialog.BaudList());
  EXPECT_EQ(dialog.speedIndex, 3);
  ChooseNext(dialog.ParityList());
  EXPECT_EQ(dialog.parityIndex, 1);
  // The data and stop lists have no handler: their choice waits for OK.
  ChooseNext(dialog.StopBitsList());
  EXPECT_EQ(dialog.stopBitsIndex, 0);
}

TEST_F(SerialSetupDlgTest, CancelKeepsWhatTheHandlersStoredAndReadsNothingMore) {
  Open(2, 0, 0, 0);
  ChooseNext(dialog.BaudList());
  ChooseNext(dialog.DataBitsList());
  QTest::mouseClick(dialog.findChild<QPushButton*>(QStringLiteral("2")), Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_FALSE(dialog.isVisible());
  EXPECT_EQ(dialog.speedIndex, 3);
  EXPECT_EQ(dialog.dataBitsIndex, 0);
}

TEST_F(SerialSetupDlgTest, EscapeEndsLikeCancel) {
  Open(1, 1, 1, 1);
  ChooseNext(dialog.StopBitsList());
  dialog.StopBitsList()->setCurrentIndex(0);
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(dialog.stopBitsIndex, 1);
}

TEST_F(SerialSetupDlgTest, OkReadsEveryList) {
  Open(0, 0, 0, 0);
  dialog.DataBitsList()->setCurrentIndex(1);
  dialog.StopBitsList()->setCurrentIndex(1);
  QPushButton* ok = dialog.findChild<QPushButton*>(QStringLiteral("1"));
  ASSERT_NE(ok, nullptr);
  EXPECT_TRUE(ok->isDefault());
  QTest::mouseClick(ok, Qt::LeftButton);
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.dataBitsIndex, 1);
  EXPECT_EQ(dialog.stopBitsIndex, 1);
  EXPECT_EQ(dialog.speedIndex, 0);
}

}  // namespace
}  // namespace corvelle
