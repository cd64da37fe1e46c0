// SPDX-License-Identifier: MIT
// The progress window: its first status, the enlarged icon button and the bar's range (STOP and
// Escape are in QtHostTest, where they end a wait).
#include <gtest/gtest.h>

#include <QLabel>
#include <QProgressBar>

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
  // Positions outside the range show as its ends.
  dialog.SetRange(0, 100);
  for (const auto& [position, shown] : {std::pair{40, 40}, {150, 100}, {-3, 0}}) {
    dialog.SetPosition(position);
    EXPECT_EQ(dialog.ProgressBar()->value(), shown) << position;
  }
}

}  // namespace corvelle
