// SPDX-License-Identifier: MIT
// CIconButton: the progress window's picture of the application icon at twice its size, framed
// in black with a dark shadow. It is disabled and never takes the focus.
#pragma once

#include <QAbstractButton>
#include <QImage>

namespace corvelle {

class CIconButton : public QAbstractButton {
  Q_OBJECT

 public:
  explicit CIconButton(QWidget* parent = nullptr);

  // Takes (2·W + 8) × (2·H + 8) pixels for the standard icon size W × H, keeping its place.
  void SizeToIcon();

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void resizeEvent(QResizeEvent* event) override;

 private:
  // The face as last drawn: each draw starts from it, as the button never erases itself.
  QImage m_face;
};

}  // namespace corvelle
