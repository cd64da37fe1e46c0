// SPDX-License-Identifier: MIT
// How the selected-fonts list shows its 112 positions: each row's position number (001-112) in a
// column of its own before the stored text, and free positions ("***") greyed. The texts of the
// items stay exactly what the profile and settings files hold.
#pragma once

#include <QString>
#include <QStyledItemDelegate>

class QListWidget;

namespace corvelle {

// "057" for row 56.
QString PositionNumber(int row);

// Draws the number column; installed on the list by ShowPositionNumbers.
class PositionNumberDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

  void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
  QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;

 private:
  static int NumberWidth(const QStyleOptionViewItem& option);
};

void ShowPositionNumbers(QListWidget* list);

// Shows row `row` as holding `text`: greyed when it is the free marker, and read aloud with
// its number ("Position 057: free").
void ShowPosition(QListWidget* list, int row, const QString& text);

}  // namespace corvelle
