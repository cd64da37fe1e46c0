// SPDX-License-Identifier: MIT
// The LED button: the LED's colour per state, the hover look on the palette's face, and that
// clicking it changes nothing.
#include <QMouseEvent>
#include <QSignalSpy>

#include "AppTesting.h"
#include "app/LedButton.h"

namespace corvelle {

const QColor kLit(255, 0, 0), kUnlit(0xA0, 0xA0, 0xA0), kBehind(255, 0, 255);
const QColor kFace(0x30, 0x30, 0x34);  // a dark theme's, not the classic grey

class LedButtonTest : public ::testing::Test {
 protected:
  LedButtonTest() {
    led.resize(60, 23);
    led.SetLedColors(0x0000FF, 0xA0A0A0);  // 0x00BBGGRR: red on, grey off
    QPalette palette = led.palette();
    palette.setColor(QPalette::Button, kFace);
    led.setPalette(palette);
  }
  // The pixel at `at` of the button painted over a background of its own colour; by default the
  // LED's centre.
  QColor At(std::optional<QPoint> at = std::nullopt) {
    QImage image(led.size(), QImage::Format_ARGB32);
    image.fill(kBehind);
    led.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image.pixelColor(at.value_or(led.Layout().led.center()));
  }

  CLedButton led;
};

// Hovered, the corners round off (the face stays the palette's) until the pointer leaves; clicks
// and Space neither toggle it nor notify anyone.
TEST_F(LedButtonTest, HoverRoundsTheCornersUntilThePointerLeaves) {
  EXPECT_EQ(At(QPoint(0, 0)), kFace);
  QMouseEvent move(QEvent::MouseMove, QPointF(10, 10), led.mapToGlobal(QPointF(10, 10)), Qt::NoButton, Qt::NoButton,
                   Qt::NoModifier);
  QApplication::sendEvent(&led, &move);
  EXPECT_EQ(std::pair(At(QPoint(0, 0)), At(QPoint(1, 1))), std::pair(kBehind, kFace));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&led, &leave);
  EXPECT_EQ(At(QPoint(0, 0)), kFace);

  QSignalSpy clicked(&led, &QAbstractButton::clicked);
  for (int state : {1, 0}) {
    led.SetLedState(state);
    QTest::mouseClick(&led, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
    QTest::keyClick(&led, Qt::Key_Space);
    EXPECT_TRUE(led.GetLedState() == state && !led.isDown());
  }
  EXPECT_EQ(clicked.count(), 0);

  // The state chooses the fill, and disabled takes the shadow.
  // SetCheck lights it for 1 and 2 (indeterminate) and clears it otherwise; SetLedState stores
  // any value, and any non-zero one is lit.
  const struct { bool viaCheck; int value; int stored; QColor centre; } rows[] = {
      {false, 1, 1, kLit}, {true, 0, 0, kUnlit}, {true, 2, 1, kLit}, {true, 3, 0, kUnlit}, {false, 5, 5, kLit}};
  for (const auto& row : rows) {
    row.viaCheck ? led.SetCheck(row.value) : led.SetLedState(row.value);
    EXPECT_EQ(std::pair(led.GetCheck(), At()), std::pair(row.stored, row.centre)) << row.value;
  }
  const QColor shadow(led.palette().color(QPalette::Active, QPalette::Dark).rgb());
  led.setEnabled(false);
  EXPECT_EQ(At(), shadow);
  led.SetLedState(0);
  EXPECT_EQ(At(), shadow);
}

}  // namespace corvelle
