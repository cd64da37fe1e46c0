// SPDX-License-Identifier: MIT
// CLedButton: a check button in the palette's button colour with a round LED whose colour shows the check state, and
// its text beside it. It outlines itself with rounded corners while the pointer hovers over it.
// Clicking it changes nothing and notifies nobody; only SetCheck / SetLedState change the LED.
#pragma once

#include <QAbstractButton>
#include <QRect>
#include <cstdint>

class QPainter;

namespace corvelle {

class CLedButton : public QAbstractButton {
  Q_OBJECT

 public:
  // Style bits that matter to the drawing.
  static constexpr std::uint32_t kTextOnLeft = 0x20;
  static constexpr std::uint32_t kAlignMask = 0xF00;
  static constexpr std::uint32_t kAlignLeft = 0x100;
  static constexpr std::uint32_t kAlignRight = 0x200;
  static constexpr std::uint32_t kAlignCenter = 0x300;

  explicit CLedButton(QWidget* parent = nullptr);

  // Only kTextOnLeft and the alignment bits are used.
  void SetButtonStyle(std::uint32_t style);

  // Stores `state` as it is (any non-zero value lights the LED in the on colour).
  void SetLedState(int state, bool redraw = true);
  int GetLedState() const { return m_checked; }
  // A negative size is refused (false, nothing changes).
  bool SetLedSize(int size);
  // Colours as 0x00BBGGRR.
  bool SetLedColors(std::uint32_t onColor, std::uint32_t offColor);
  std::uint32_t OnColor() const { return m_onColor; }

  // The standard check-state requests: 1 (checked) and 2 (indeterminate) check it, anything
  // else clears it; GetCheck answers the stored state.
  void SetCheck(int check);
  int GetCheck() const { return m_checked; }

  struct Geometry {
    QRect inner;  // inside the focus rectangle, before the LED took its side
    QRect led;
    QRect text;   // where the text is drawn (empty text: left as the space beside the LED)
  };
  // Where the LED and the text go for the current size, style, text and pushed state.
  Geometry Layout() const;

  QSize sizeHint() const override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void mouseMoveEvent(QMouseEvent* event) override;
  void mouseReleaseEvent(QMouseEvent* event) override;
  void keyReleaseEvent(QKeyEvent* event) override;
  void leaveEvent(QEvent* event) override;

 private:
  void PaintText(QPainter& painter, const QRect& rect, int alignment);

  std::uint32_t m_style = 0;
  int m_hover = 0;
  int m_checked = 0;
  int m_disabled = 0;
  int m_focused = 0;
  int m_pressed = 0;
  int m_ledSize = 15;
  std::uint32_t m_onColor = 0x00FF00;
  std::uint32_t m_offColor = 0x007F00;
};

}  // namespace corvelle
