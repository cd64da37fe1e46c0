// SPDX-License-Identifier: MIT
// Drawing of the enlarged application icon.
#include "app/IconButton.h"

#include <QPainter>

#include "app/AppIcon.h"

namespace corvelle {
namespace {

const QColor kShadow(64, 64, 64);  // the stock dark-grey brush

}  // namespace

CIconButton::CIconButton(QWidget* parent) : QAbstractButton(parent) {
  setEnabled(false);
  setFocusPolicy(Qt::NoFocus);
}

void CIconButton::SizeToIcon() { resize(sizeHint()); }

QSize CIconButton::sizeHint() const {
  const int icon = StandardIconSize();
  return {2 * icon + 8, 2 * icon + 8};
}

void CIconButton::resizeEvent(QResizeEvent* event) {
  m_face = QImage();
  QAbstractButton::resizeEvent(event);
}

void CIconButton::paintEvent(QPaintEvent*) {
  const int w = width();
  const int h = height();
  const int icon = StandardIconSize();
  const QPixmap picture = AppIcon().pixmap(QSize(icon, icon));
  if (w <= 8 || h <= 8 || picture.isNull()) return;
  if (m_face.size() != size()) {
    // Before the first draw the face shows the window's background.
    m_face = QImage(size(), QImage::Format_ARGB32_Premultiplied);
    m_face.fill(palette().color(QPalette::Window));
  }
  const QRect pictureArea(2, 2, w - 8, h - 8);

  // The icon over the face's current picture, drawn at the picture's size from the largest
  // artwork with smooth scaling, so that it is not a blow-up of the small icon.
  QImage large = m_face.copy(pictureArea);
  {
    QPainter largePainter(&large);
    largePainter.setRenderHint(QPainter::SmoothPixmapTransform);
    largePainter.drawPixmap(large.rect(), AppIcon().pixmap(QSize(256, 256)));
  }

  QPainter face(&m_face);
  face.setPen(Qt::black);
  face.setBrush(Qt::white);
  face.drawRect(0, 0, w - 5, h - 5);
  face.fillRect(QRect(QPoint(w - 4, 4), QPoint(w - 1, h - 1)), kShadow);
  face.fillRect(QRect(QPoint(4, h - 4), QPoint(w - 1, h - 1)), kShadow);
  face.drawImage(pictureArea, large);
  face.end();

  QPainter(this).drawImage(0, 0, m_face);
}

}  // namespace corvelle
