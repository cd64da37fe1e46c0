// SPDX-License-Identifier: MIT
// Drawing, state and hover tracking of the LED button.
#include "app/LedButton.h"

#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <algorithm>

#include "app/ColorRef.h"

namespace corvelle {
namespace {

constexpr int kTextGap = 3;  // pixels between the LED and the text

int Alignment(std::uint32_t style) {
  switch (style & CLedButton::kAlignMask) {
    case CLedButton::kAlignCenter:
      return Qt::AlignHCenter;
    case CLedButton::kAlignRight:
      return Qt::AlignRight;
    default:
      return Qt::AlignLeft;
  }
}

constexpr int kTextFlags = Qt::TextWordWrap | Qt::AlignTop | Qt::TextShowMnemonic;

// A smoothed disc covering `box`. The LED is drawn as nested discs (outline, ring, fill), each one
// pixel smaller per side, so the rings stay one pixel wide and no fill shows outside them.
void FillDisc(QPainter& painter, const QRect& box, const QColor& colour) {
  if (box.isEmpty()) return;
  painter.setBrush(colour);
  painter.drawEllipse(QRectF(box));
}

}  // namespace

CLedButton::CLedButton(QWidget* parent) : QAbstractButton(parent) { setMouseTracking(true); }

void CLedButton::SetButtonStyle(std::uint32_t style) {
  m_style = style;
  update();
}

void CLedButton::SetLedState(int state, bool redraw) {
  m_checked = state;
  if (redraw) update();
}

bool CLedButton::SetLedSize(int size) {
  if (size < 0) return false;
  m_ledSize = size;
  update();
  return true;
}

bool CLedButton::SetLedColors(std::uint32_t onColor, std::uint32_t offColor) {
  m_onColor = onColor;
  m_offColor = offColor;
  update();
  return true;
}

void CLedButton::SetCheck(int check) {
  m_checked = (check == 1 || check == 2) ? 1 : 0;
  update();
}

CLedButton::Geometry CLedButton::Layout() const {
  // Edges as left/top inclusive, right/bottom exclusive: 2 pixels of face, then the focus
  // rectangle, then one more pixel.
  int left = 3;
  int top = 3;
  int right = width() - 3;
  const int bottom = height() - 3;
  Geometry geometry;
  geometry.inner = QRect(left, top, right - left, bottom - top);

  const int d = m_ledSize;
  int ledLeft = 0;
  if (m_style & kTextOnLeft) {
    ledLeft = right - d;
    right = ledLeft - kTextGap;
  } else {
    ledLeft = left;
    left = ledLeft + d + kTextGap;
  }
  // Measured from the control's own top, one pixel above the centre of the inner area.
  const int ledTop = (bottom - top - d) / 2 + 2;
  geometry.led = QRect(ledLeft, ledTop, d, d);

  const int availableWidth = right - left;
  const int availableHeight = bottom - top;
  const int alignment = Alignment(m_style);
  QRect measured(left, top, std::max(availableWidth, 0), std::max(availableHeight, 0));
  if (!text().isEmpty()) {
    const QRect bound = fontMetrics().boundingRect(QRect(left, top, std::max(availableWidth, 1), 1 << 15),
                                                   kTextFlags | alignment, text());
    measured.setSize(bound.size());
    int dx = 0;
    if (alignment == Qt::AlignHCenter) dx = (availableWidth - bound.width()) / 2;
    if (alignment == Qt::AlignRight) dx = availableWidth - bound.width();
    measured.translate(dx, (availableHeight - bound.height()) / 2);
  }
  geometry.text = measured;

  if (isDown()) {
    geometry.led.translate(1, 1);
    geometry.text.translate(1, 1);
  }
  return geometry;
}

QSize CLedButton::sizeHint() const {
  const QSize textSize = text().isEmpty() ? QSize() : fontMetrics().size(Qt::TextShowMnemonic, text());
  const int textWidth = textSize.isEmpty() ? 0 : textSize.width() + kTextGap;
  return {m_ledSize + textWidth + 6, std::max(m_ledSize, textSize.height()) + 8};
}

void CLedButton::paintEvent(QPaintEvent*) {
  m_pressed = isDown() ? 1 : 0;
  m_focused = hasFocus() ? 1 : 0;
  m_disabled = isEnabled() ? 0 : 1;

  QPainter painter(this);
  // The face is the palette's button colour, so that the control sits in a dark theme too.
  const QColor face = palette().color(QPalette::Button);
  painter.setPen(face);
  painter.setBrush(face);
  const QRect outline(0, 0, width() - 1, height() - 1);
  if (m_hover) {
    painter.drawRoundedRect(outline, 2, 2);
  } else {
    painter.drawRect(outline);
  }

  if (m_focused) {
    // A dotted rectangle two pixels inside the edge, every other pixel set.
    QPen dots(palette().color(QPalette::Active, QPalette::ButtonText), 0);
    dots.setDashPattern({1.0, 1.0});
    painter.setPen(dots);
    painter.setBrush(Qt::NoBrush);
    painter.drawRect(QRect(2, 2, width() - 5, height() - 5));
  }

  const Geometry geometry = Layout();
  const QColor fill = m_disabled  ? palette().color(QPalette::Active, QPalette::Dark)
                      : m_checked ? ColorFromRef(m_onColor)
                                  : ColorFromRef(m_offColor);
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(Qt::NoPen);
  FillDisc(painter, geometry.led, face);
  FillDisc(painter, geometry.led.adjusted(1, 1, -1, -1), ColorFromRef(m_offColor));
  FillDisc(painter, geometry.led.adjusted(2, 2, -2, -2), fill);
  painter.restore();

  if (!text().isEmpty()) PaintText(painter, geometry.text, Alignment(m_style));
}

void CLedButton::PaintText(QPainter& painter, const QRect& rect, int alignment) {
  const int flags = kTextFlags | alignment;
  if (m_disabled) {
    // Engraved: a light copy one pixel down and right, the shadow copy on top.
    painter.setPen(palette().color(QPalette::Active, QPalette::Light));
    painter.drawText(rect.translated(1, 1), flags, text());
    painter.setPen(palette().color(QPalette::Active, QPalette::Dark));
    painter.drawText(rect, flags, text());
  } else {
    painter.setPen(palette().color(QPalette::Active, QPalette::ButtonText));
    painter.drawText(rect, flags, text());
  }
}

void CLedButton::mouseMoveEvent(QMouseEvent* event) {
  // A drag that started elsewhere does not light the hover outline.
  if ((event->buttons() & Qt::LeftButton) && !m_hover) {
    event->accept();
    return;
  }
  if (!rect().contains(event->position().toPoint())) {
    m_hover = 0;
    update();
  } else if (!m_hover) {
    m_hover = 1;
    update();
  }
  QAbstractButton::mouseMoveEvent(event);
}

void CLedButton::mouseReleaseEvent(QMouseEvent* event) {
  // Releasing the button un-pushes it without a click: the LED shows state, it is no switch.
  if (event->button() == Qt::LeftButton && isDown()) setDown(false);
  QAbstractButton::mouseReleaseEvent(event);
  event->accept();
}

void CLedButton::keyReleaseEvent(QKeyEvent* event) {
  const bool releasesPush = event->key() == Qt::Key_Space || event->key() == Qt::Key_Select;
  if (releasesPush && !event->isAutoRepeat() && isDown()) setDown(false);
  QAbstractButton::keyReleaseEvent(event);
}

void CLedButton::leaveEvent(QEvent* event) {
  m_hover = 0;
  update();
  QAbstractButton::leaveEvent(event);
}

}  // namespace corvelle
