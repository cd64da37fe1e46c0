// The progress window: its first status, the enlarged icon button, the bar's range, and STOP and
// Escape.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "app/AppIcon.h"
#include "app/IconButton.h"
#include "app/ProgressDlg.h"

namespace corvelle {

TEST(ProgressDlg, OpensWithADotAndAnIconButtonOfTwiceTheIconPlusEight) {
  CProgressDlg dialog;
  EXPECT_EQ(dialog.StatusLine()->text(), QStringLiteral("."));
  CIconButton* icon = dialog.IconButton();
  EXPECT_EQ(icon->size(), QSize(2 * StandardIconSize() + 8, 2 * StandardIconSize() + 8));
  EXPECT_FALSE(icon->isEnabled());
  EXPECT_EQ(icon->focusPolicy(), Qt::NoFocus);
}

TEST(ProgressDlg, PositionsOutsideTheRangeShowAsItsEnds) {
  CProgressDlg dialog;
  dialog.SetRange(0, 100);
  for (const auto& [position, shown] : {std::pair{40, 40}, {150, 100}, {-3, 0}}) {
    dialog.SetPosition(position);
    EXPECT_EQ(dialog.ProgressBar()->value(), shown) << position;
  }
}

TEST(ProgressDlg, StopAndEscapeRaiseTheFlagAndHideWithoutDestroying) {
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "STOP");
    QPointer<CProgressDlg> dialog = new CProgressDlg;
    int signalled = 0;
    QObject::connect(dialog, &CProgressDlg::StopPressed, [&] { ++signalled; });
    dialog->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(dialog));
    if (escape) {
      QTest::keyClick(dialog, Qt::Key_Escape);
    } else {
      QTest::mouseClick(dialog->StopButton(), Qt::LeftButton);
    }
    QApplication::processEvents();
    ASSERT_FALSE(dialog.isNull());  // the caller deletes it
    EXPECT_EQ(dialog->m_cancelRequested, 1);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(signalled, 1);
    dialog->ClearCancel();
    EXPECT_FALSE(dialog->CancelRequested());
    delete dialog;
  }
}

}  // namespace corvelle
