// The printer serial port setup dialog: the stored positions it shows, which choices reach the
// positions at once, and what OK and Cancel keep.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>

#include "setup/SerialSetupDlg.h"

namespace corvelle {

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
  void Press(const char* id) { QTest::mouseClick(dialog.findChild<QPushButton*>(id), Qt::LeftButton); }

  CSerialSetupDlg dialog;
};

TEST_F(SerialSetupDlgTest, ShowsStoredPositionsWithTheAddedSpeedAndOkReadsTheLists) {
  Open(5, 2, 1, 0);
  EXPECT_EQ(dialog.BaudList()->count(), 6);
  EXPECT_EQ(dialog.BaudList()->currentText(), QStringLiteral("57600"));
  EXPECT_EQ(dialog.ParityList()->count(), 3);  // no empty fourth entry here
  EXPECT_EQ(dialog.ParityList()->currentText(), QStringLiteral("Odd"));
  EXPECT_EQ(dialog.DataBitsList()->currentText(), QStringLiteral("8"));
  dialog.hide();
  dialog.show();  // showing again adds no second speed
  EXPECT_EQ(dialog.BaudList()->count(), 6);
  dialog.StopBitsList()->setCurrentIndex(1);
  Press("1");
  EXPECT_EQ(dialog.result(), QDialog::Accepted);
  EXPECT_EQ(dialog.stopBitsIndex, 1);
}

TEST_F(SerialSetupDlgTest, SpeedAndParityReachThePositionsAtOnceAndCancelKeepsThem) {
  Open(2, 0, 0, 0);
  for (QComboBox* list : {dialog.BaudList(), dialog.ParityList(), dialog.DataBitsList()}) {
    QTest::keyClick(list, Qt::Key_Down);
  }
  EXPECT_EQ(dialog.speedIndex, 3);
  EXPECT_EQ(dialog.parityIndex, 1);
  EXPECT_EQ(dialog.dataBitsIndex, 0);  // no handler: waits for OK
  Press("2");
  EXPECT_EQ(dialog.result(), QDialog::Rejected);
  EXPECT_EQ(dialog.speedIndex, 3);
  EXPECT_EQ(dialog.parityIndex, 1);
  EXPECT_EQ(dialog.dataBitsIndex, 0);
}

}  // namespace corvelle
