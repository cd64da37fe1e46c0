// SPDX-License-Identifier: MIT
// The printer serial port setup dialog: the stored positions it shows, which choices reach the
// positions at once, and what OK and Cancel keep.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QPushButton>
#include <QTest>
#include <tuple>

#include "app/SerialSetupDlg.h"

namespace corvelle {

// Opened as the port dialog opens it: positions set, then shown (57600 is added to the list).
// Speed and parity reach the positions as they change; the rest waits for OK.
TEST(SerialSetupDlg, ShowsTheStoredPositionsAndOkReadsTheListsCancelNot) {
  for (const char* button : {"1", "2"}) {  // OK, Cancel
    SCOPED_TRACE(button);
    CSerialSetupDlg dialog;
    const auto positions = [&] {
      return std::tie(dialog.speedIndex, dialog.parityIndex, dialog.dataBitsIndex, dialog.stopBitsIndex);
    };
    positions() = std::tuple(5, 2, 0, 0);
    dialog.show();
    dialog.hide();
    dialog.show();  // showing again adds no second speed
    QComboBox* const lists[] = {dialog.BaudList(), dialog.ParityList(), dialog.DataBitsList(), dialog.StopBitsList()};
    QStringList shown;
    for (QComboBox* list : lists) shown << list->currentText() + "/" + QString::number(list->count());
    EXPECT_EQ(shown.join(' '), QStringLiteral("57600/6 Odd/3 7/2 1/2"));  // no empty fourth parity
    for (QComboBox* list : lists) QTest::keyClick(list, list->currentIndex() == 0 ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(positions(), std::tuple(4, 1, 0, 0));
    QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
    const bool ok = button == std::string("1");
    EXPECT_EQ(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(positions(), ok ? std::tuple(4, 1, 1, 1) : std::tuple(4, 1, 0, 0));
  }
}

}  // namespace corvelle
