// SPDX-License-Identifier: MIT
// The selected-fonts list's number column and free positions.
#include "app/SelectionListView.h"

#include <QApplication>
#include <QListWidget>
#include <QPainter>

namespace corvelle {
namespace {

const QString kFreeMarker = QStringLiteral("***");

}  // namespace

QString PositionNumber(int row) { return QStringLiteral("%1").arg(row + 1, 3, 10, QLatin1Char('0')); }

int PositionNumberDelegate::NumberWidth(const QStyleOptionViewItem& option) {
  return option.fontMetrics.horizontalAdvance(QStringLiteral("000")) + option.fontMetrics.averageCharWidth() * 2;
}

void PositionNumberDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                   const QModelIndex& index) const {
  const int gutter = NumberWidth(option);
  QRect numberRect = option.rect;
  numberRect.setWidth(gutter);
  painter->save();
  painter->fillRect(numberRect, option.palette.brush(QPalette::AlternateBase));
  painter->setPen(option.palette.color(QPalette::Disabled, QPalette::Text));
  painter->drawText(numberRect.adjusted(0, 0, -option.fontMetrics.averageCharWidth(), 0),
                    Qt::AlignRight | Qt::AlignVCenter, PositionNumber(index.row()));
  painter->restore();

  QStyleOptionViewItem text(option);
  text.rect.setLeft(option.rect.left() + gutter);
  QStyledItemDelegate::paint(painter, text, index);
}

QSize PositionNumberDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const {
  const QSize size = QStyledItemDelegate::sizeHint(option, index);
  return {size.width() + NumberWidth(option), size.height()};
}

void ShowPositionNumbers(QListWidget* list) { list->setItemDelegate(new PositionNumberDelegate(list)); }

void ShowPosition(QListWidget* list, int row, const QString& text) {
  QListWidgetItem* item = list->item(row);
  if (item == nullptr) return;
  const bool free = text == kFreeMarker;
  item->setText(text);
  item->setForeground(free ? list->palette().brush(QPalette::Disabled, QPalette::Text) : QBrush());
  const QString spoken = free ? QStringLiteral("free") : text.trimmed();
  item->setData(Qt::AccessibleTextRole, QStringLiteral("Position %1: %2").arg(PositionNumber(row), spoken));
  item->setToolTip(QStringLiteral("Position %1").arg(PositionNumber(row)));
}

}  // namespace corvelle
