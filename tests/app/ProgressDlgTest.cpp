// SPDX-License-Identifier: MIT
// The progress window: the bar's range (STOP and Escape are in QtHostTest,
// where they end a wait).
#include <gtest/gtest.h>

#include <QProgressBar>

#include "app/ProgressDlg.h"

namespace corvelle {

TEST(ProgressDlg, ShowsPositionsOutsideTheRangeAsItsEnds) {
  CProgressDlg dialog;
  dialog.SetRange(0, 100);
  for (const auto& [position, shown] : {std::pair{40, 40}, {150, 100}, {-3, 0}}) {
    dialog.SetPosition(position);
    EXPECT_EQ(dialog.ProgressBar()->value(), shown) << position;
  }
}

}  // namespace corvelle
