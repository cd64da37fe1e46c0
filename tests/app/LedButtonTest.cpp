// The LED button: colours per state, LED and text geometry, pushed and hover looks, and that
// clicking it changes nothing.
#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>

#include "app/ColorRef.h"
#include "app/LedButton.h"
#include "WidgetTesting.h"

namespace corvelle {
namespace {

using test::Pixel;
using test::Render;

const QColor kRed(255, 0, 0);
const QColor kGrey(0xA0, 0xA0, 0xA0);
const QColor kFace(0xC0, 0xC0, 0xC0);
const QColor kBackground(255, 0, 255);

class LedButtonTest : public ::testing::Test {
 protected:
  LedButtonTest() {
    led.resize(60, 23);
    led.SetLedColors(0x0000FF, 0xA0A0A0);  // red on, grey off, as the port dialog uses it
  }
  QColor LedCentre() { return Pixel(Render(led), led.Layout().led.center()); }
  void Move(QPoint at, Qt::MouseButtons buttons) {
    QMouseEvent move(QEvent::MouseMove, at, led.mapToGlobal(at), Qt::NoButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&led, &move);
  }

  CLedButton led;
};

TEST_F(LedButtonTest, ColourReferencesHaveRedInTheLowByte) {
  EXPECT_EQ(ColorFromRef(0x0000FF), kRed);
  EXPECT_EQ(ColorFromRef(0xFF0000), QColor(0, 0, 255));
  EXPECT_EQ(ColorFromRef(0x00FFFF), QColor(255, 255, 0));
  EXPECT_EQ(RgbRef(0x12, 0x34, 0x56), 0x563412u);
}

TEST_F(LedButtonTest, DefaultsAreAGreenLedOfFifteenPixels) {
  CLedButton fresh;
  EXPECT_EQ(fresh.GetLedState(), 0);
  EXPECT_EQ(fresh.LedSize(), 15);
  EXPECT_EQ(fresh.OnColor(), 0x00FF00u);
  EXPECT_EQ(fresh.OffColor(), 0x007F00u);
  fresh.resize(40, 23);
  EXPECT_EQ(Pixel(Render(fresh), fresh.Layout().led.center()), QColor(0, 0x7F, 0));
}

TEST_F(LedButtonTest, CheckStateChoosesTheFill) {
  EXPECT_EQ(LedCentre(), kGrey);
  led.SetLedState(1);
  EXPECT_EQ(LedCentre(), kRed);
  led.SetCheck(0);
  EXPECT_EQ(LedCentre(), kGrey);
  led.SetCheck(2);  // indeterminate counts as checked
  EXPECT_EQ(led.GetCheck(), 1);
  EXPECT_EQ(LedCentre(), kRed);
  led.SetCheck(3);
  EXPECT_EQ(led.GetCheck(), 0);
  EXPECT_EQ(LedCentre(), kGrey);
  led.SetLedState(5);  // stored as it is, and lit
  EXPECT_EQ(led.GetCheck(), 5);
  EXPECT_EQ(LedCentre(), kRed);
}

TEST_F(LedButtonTest, DisabledLedTakesTheShadowColourWhateverTheState) {
  const QColor shadow(led.palette().color(QPalette::Active, QPalette::Dark).rgb());
  led.setEnabled(false);
  EXPECT_EQ(LedCentre(), shadow);
  led.SetLedState(1);
  EXPECT_EQ(LedCentre(), shadow);
}

TEST_F(LedButtonTest, RingIsTheOffColourInsideALightGreyOutline) {
  led.SetLedState(1);
  const QImage image = Render(led);
  const QRect box = led.Layout().led;
  const int midY = box.center().y();
  EXPECT_EQ(Pixel(image, {box.left(), midY}), kFace);
  EXPECT_TRUE(test::Near(Pixel(image, {box.left() + 1, midY}), kGrey));
  EXPECT_EQ(Pixel(image, {box.left() + 3, midY}), kRed);
}

TEST_F(LedButtonTest, LedStandsLeftOrRightWithAThreePixelGap) {
  led.setText(QStringLiteral("Ab"));
  CLedButton::Geometry g = led.Layout();
  EXPECT_EQ(g.led, QRect(3, 3, 15, 15));
  EXPECT_EQ(g.text.left(), g.led.left() + 15 + 3);

  led.SetButtonStyle(CLedButton::kTextOnLeft);
  g = led.Layout();
  EXPECT_EQ(g.led, QRect(60 - 3 - 15, 3, 15, 15));
  EXPECT_EQ(g.text.left(), 3);  // left-aligned text in the room left of the LED
  EXPECT_LE(g.text.right(), g.led.left() - 1 - 3);
  const QImage image = Render(led);
  EXPECT_EQ(Pixel(image, g.led.center()), kGrey);
  EXPECT_EQ(Pixel(image, {3 + 7, g.led.center().y() + 8}), kFace);  // no LED on the left any more

  // Right-aligned text ends where its room ends, three pixels before the LED.
  led.SetButtonStyle(CLedButton::kTextOnLeft | CLedButton::kAlignRight);
  g = led.Layout();
  EXPECT_EQ(g.text.right(), g.led.left() - 1 - 3);
}

TEST_F(LedButtonTest, CentredTextSitsInTheMiddleOfItsRoom) {
  led.resize(120, 23);
  led.setText(QStringLiteral("Ab"));
  led.SetButtonStyle(CLedButton::kAlignCenter);
  const CLedButton::Geometry g = led.Layout();
  const int roomLeft = g.led.right() + 1 + 3;
  const int roomRight = 120 - 3;  // exclusive
  EXPECT_LE(std::abs((g.text.left() - roomLeft) - (roomRight - g.text.right() - 1)), 1);
}

TEST_F(LedButtonTest, LedTopIsMeasuredFromTheControlTop) {
  // (bottom - top - d) / 2 + 2 with the inner area's edges, truncated toward zero.
  led.resize(60, 30);
  led.SetLedSize(20);
  EXPECT_EQ(led.Layout().led.top(), (24 - 20) / 2 + 2);
  led.resize(60, 10);
  led.SetLedSize(15);
  EXPECT_EQ(led.Layout().led.top(), -3);  // (4 - 15) / 2 = -5, plus 2
}

TEST_F(LedButtonTest, PushedLedAndTextMoveOnePixelDownRight) {
  led.setText(QStringLiteral("Ab"));
  const CLedButton::Geometry up = led.Layout();
  led.setDown(true);
  const CLedButton::Geometry down = led.Layout();
  EXPECT_EQ(down.led, up.led.translated(1, 1));
  EXPECT_EQ(down.text, up.text.translated(1, 1));
  const QImage image = Render(led);
  EXPECT_EQ(Pixel(image, {up.led.left() + 1, up.led.center().y()}), kFace);  // the outline moved away
  EXPECT_TRUE(test::Near(Pixel(image, {down.led.left() + 1, down.led.center().y()}), kGrey));
}

TEST_F(LedButtonTest, FocusShowsADottedRectangleTwoPixelsIn) {
  led.show();
  led.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&led));
  EXPECT_EQ(Pixel(Render(led), {30, 2}), kFace);
  led.setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(led.hasFocus());
  const QImage image = Render(led);
  int dotsTop = 0;
  int dotsBottom = 0;
  for (int x = 2; x <= led.width() - 3; ++x) {
    dotsTop += Pixel(image, {x, 2}) != kFace ? 1 : 0;
    dotsBottom += Pixel(image, {x, led.height() - 3}) != kFace ? 1 : 0;
  }
  EXPECT_NEAR(dotsTop, (led.width() - 4) / 2, 1);  // every other pixel
  EXPECT_NEAR(dotsBottom, (led.width() - 4) / 2, 1);
  EXPECT_EQ(Pixel(image, {1, 1}), kFace);
  EXPECT_EQ(Pixel(image, {30, 3}), kFace);
}

TEST_F(LedButtonTest, LedSizeRefusesNegativesAndAcceptsZero) {
  EXPECT_FALSE(led.SetLedSize(-1));
  EXPECT_EQ(led.LedSize(), 15);
  EXPECT_TRUE(led.SetLedSize(0));
  EXPECT_EQ(led.LedSize(), 0);
  EXPECT_TRUE(led.Layout().led.isEmpty());
  led.setText(QStringLiteral("Ab"));
  EXPECT_EQ(led.Layout().text.left(), 3 + 0 + 3);
  const QImage image = Render(led);  // draws the face only, without a crash
  EXPECT_EQ(Pixel(image, {5, 5}), kFace);
}

TEST_F(LedButtonTest, DisabledTextIsEngravedInLightAndShadow) {
  led.resize(120, 23);
  led.setText(QStringLiteral("IIII"));
  // The bounds of the pixels of the text's area that differ from the face, or are lighter than it.
  const auto bounds = [this](const QImage& image, bool lighterOnly) {
    const QRect area = led.Layout().text.adjusted(0, 0, 1, 1);
    QRect box;
    for (int y = area.top(); y <= area.bottom(); ++y) {
      for (int x = area.left(); x <= area.right(); ++x) {
        const QRgb pixel = image.pixel(x, y);
        if (lighterOnly ? qGray(pixel) > qGray(kFace.rgb()) : pixel != kFace.rgb()) box |= QRect(x, y, 1, 1);
      }
    }
    return box;
  };
  const QImage enabled = Render(led);
  const QRect text = bounds(enabled, false);
  ASSERT_FALSE(text.isEmpty());
  EXPECT_TRUE(bounds(enabled, true).isEmpty());
  led.setEnabled(false);
  const QImage disabled = Render(led);
  // The light copy stands one pixel right and down; the shadow copy is where the text was.
  EXPECT_EQ(bounds(disabled, true).bottomRight(), text.bottomRight() + QPoint(1, 1));
  EXPECT_EQ(bounds(disabled, false), text.adjusted(0, 0, 1, 1));
}

TEST_F(LedButtonTest, HoverRoundsTheCornersUntilThePointerLeaves) {
  EXPECT_EQ(Pixel(Render(led), {0, 0}), kFace);
  Move({10, 10}, Qt::NoButton);
  EXPECT_TRUE(led.Hovering());
  EXPECT_EQ(Pixel(Render(led), {0, 0}), kBackground);
  EXPECT_EQ(Pixel(Render(led), {1, 1}), kFace);
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&led, &leave);
  EXPECT_FALSE(led.Hovering());
  EXPECT_EQ(Pixel(Render(led), {0, 0}), kFace);
}

TEST_F(LedButtonTest, DragFromElsewhereDoesNotStartHover) {
  Move({10, 10}, Qt::LeftButton);
  EXPECT_FALSE(led.Hovering());
  Move({10, 10}, Qt::NoButton);
  EXPECT_TRUE(led.Hovering());
  Move({10, 10}, Qt::LeftButton);  // already hovering: the held button changes nothing
  EXPECT_TRUE(led.Hovering());
  Move({200, 10}, Qt::NoButton);  // a move outside (the control holds the mouse) ends it
  EXPECT_FALSE(led.Hovering());
}

TEST_F(LedButtonTest, ClicksNeitherToggleNorNotify) {
  QSignalSpy clicked(&led, &QAbstractButton::clicked);
  led.SetLedState(1);
  QTest::mouseClick(&led, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  EXPECT_EQ(clicked.count(), 0);
  EXPECT_FALSE(led.isDown());
  EXPECT_EQ(led.GetLedState(), 1);
  QTest::keyClick(&led, Qt::Key_Space);
  EXPECT_EQ(clicked.count(), 0);
  EXPECT_FALSE(led.isDown());
  led.SetLedState(0);
  QTest::mouseClick(&led, Qt::LeftButton, Qt::NoModifier, QPoint(10, 10));
  EXPECT_EQ(led.GetLedState(), 0);
  EXPECT_EQ(LedCentre(), kGrey);
}

}  // namespace
}  // namespace corvelle
