// Helpers shared by the window tests.
#pragma once

#include <QColor>
#include <cstdlib>
#include <QImage>
#include <QWidget>

namespace corvelle::test {

// The widget painted alone (no background of its own) over a plain `background`.
inline QImage Render(QWidget& widget, QColor background = QColor(255, 0, 255)) {
  QImage image(widget.size(), QImage::Format_ARGB32);
  image.fill(background);
  widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
  return image;
}

inline QColor Pixel(const QImage& image, QPoint at) { return image.pixelColor(at); }

// Equal up to the blending of a smoothed edge.
inline bool Near(QColor a, QColor b, int tolerance = 8) {
  return std::abs(a.red() - b.red()) <= tolerance && std::abs(a.green() - b.green()) <= tolerance &&
         std::abs(a.blue() - b.blue()) <= tolerance;
}

}  // namespace corvelle::test
