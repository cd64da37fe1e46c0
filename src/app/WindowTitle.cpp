// SPDX-License-Identifier: MIT
// Room for a window's whole title.
#include "app/WindowTitle.h"

#include <QApplication>
#include <QFontMetrics>
#include <QGridLayout>
#include <QMessageBox>
#include <QScreen>
#include <QSpacerItem>
#include <QStyle>
#include <algorithm>

namespace corvelle {

int TitleBarWidth(const QString& title, const QWidget& window) {
  // Qt's own caption font (the system's caption font on Windows), bold as many window managers
  // draw it: a bold caption is never narrower than the plain one.
  QFont font = QApplication::font("QMdiSubWindowTitleBar");
  font.setBold(true);
  const int caption = QFontMetrics(font).horizontalAdvance(title);
  // Icon, close box and the minimise and maximise boxes some managers give dialogs too: each
  // about as wide as the bar is high; one more for the gaps between them and the frame's edges.
  const int bar = window.style()->pixelMetric(QStyle::PM_TitleBarHeight, nullptr, &window);
  return caption + 5 * bar;
}

void KeepTitleWhole(QMessageBox& box) {
  auto* grid = qobject_cast<QGridLayout*>(box.layout());
  if (grid == nullptr) return;
  int width = TitleBarWidth(box.windowTitle(), box);
  if (const QScreen* screen = box.screen(); screen != nullptr) {
    width = std::min(width, screen->availableGeometry().width());
  }
  // The box takes the width its layout needs at the least, so a row that wide inside the layout's
  // margins, below the buttons and with no height, widens it without moving anything in it.
  const QMargins margins = grid->contentsMargins();
  width -= margins.left() + margins.right();
  grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Fixed, QSizePolicy::Minimum), grid->rowCount(), 0, 1,
                std::max(grid->columnCount(), 1));
}

}  // namespace corvelle
