// Dialog units and windows built from templates.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>

#include "app/DialogUnits.h"

namespace corvelle {
namespace {

using namespace layouts;

TEST(DialogUnits, ConvertWithTheFontsAverageWidthAndHeight) {
  const DialogUnits units(DialogFont());
  ASSERT_GT(units.BaseX(), 0);
  ASSERT_GT(units.BaseY(), 0);
  EXPECT_EQ(units.X(4), units.BaseX());
  EXPECT_EQ(units.Y(8), units.BaseY());
  EXPECT_EQ(units.X(161), (161 * units.BaseX() + 2) / 4);  // rounded to the nearest pixel
  EXPECT_EQ(units.Y(82), (82 * units.BaseY() + 4) / 8);
  EXPECT_EQ(units.ToPixels(161, 82), QSize(units.X(161), units.Y(82)));
}

TEST(DialogUnits, NeighbouringRectanglesStayNeighbours) {
  const DialogUnits units(DialogFont());
  for (int x = 0; x < 12; ++x) {
    const QRect left = units.ToPixels(DlgRect{x, x, 3, 5});
    const QRect right = units.ToPixels(DlgRect{x + 3, x + 5, 7, 7});
    EXPECT_EQ(left.right() + 1, right.left());
    EXPECT_EQ(left.bottom() + 1, right.top());
  }
}

constexpr ControlTemplate kSample[] = {
    {IDC_STATIC, StaticText, "Label:", {5, 5, 40, 8}},
    {IDC_STATIC, GroupBox, "Frame", {2, 2, 150, 60}},
    {IDC_BAUD, DropDownList, "a\nb\n", {50, 5, 50, 80}},
    {IDC_PARITY, DropDownList, "", {50, 20, 50, 80}, kDisabled},
    {IDC_DETAIL_LIST, DropDownList, "", {50, 35, 50, 80}, kHidden},
    {IDC_COMM_PORT, MultiLinePushButton, "Communication port", {100, 20, 40, 30}},
    {IDC_INDICATOR, OwnerDraw, "", {100, 5, 20, 10}},
    {IDOK, DefPushButton, "OK", {5, 45, 50, 14}},
};
constexpr DialogTemplate kSampleDialog{999, "Sample", 160, 70, kSample};

TEST(BuildDialog, PlacesControlsAtTheirRectanglesInTemplateOrder) {
  QWidget window;
  QWidget* ownerDrawn = nullptr;
  const TemplateControls controls = BuildDialog(&window, kSampleDialog, [&](const ControlTemplate& item, QWidget* parent) {
    EXPECT_EQ(item.id, IDC_INDICATOR);
    ownerDrawn = new QWidget(parent);
    return ownerDrawn;
  });
  const DialogUnits units(window.font());
  EXPECT_EQ(window.windowTitle(), QStringLiteral("Sample"));
  EXPECT_EQ(window.size(), units.ToPixels(160, 70));
  EXPECT_EQ(window.font().family(), QStringLiteral("Tahoma"));

  auto* baud = controls.As<QComboBox>(IDC_BAUD);
  ASSERT_NE(baud, nullptr);
  EXPECT_EQ(baud->count(), 3);  // a trailing line break is an empty last entry
  EXPECT_EQ(baud->currentIndex(), -1);
  const QRect baudRect = units.ToPixels(DlgRect{50, 5, 50, 80});
  EXPECT_EQ(baud->geometry().topLeft(), baudRect.topLeft());
  EXPECT_EQ(baud->width(), baudRect.width());
  EXPECT_LT(baud->height(), baudRect.height());  // closed height, not the open list's
  EXPECT_EQ(baud->objectName(), QStringLiteral("215"));
  EXPECT_FALSE(controls.Find(IDC_PARITY)->isEnabled());
  EXPECT_TRUE(controls.Find(IDC_DETAIL_LIST)->isHidden());
  EXPECT_EQ(controls.Find(IDC_INDICATOR), ownerDrawn);
  EXPECT_EQ(ownerDrawn->geometry(), units.ToPixels(DlgRect{100, 5, 20, 10}));
  EXPECT_EQ(controls.Find(IDC_STATIC), nullptr);
  EXPECT_TRUE(controls.As<QPushButton>(IDOK)->isDefault());
  EXPECT_TRUE(controls.As<QPushButton>(IDC_COMM_PORT)->text().contains(QLatin1Char('\n')));

  // Tab order follows the template; the frame lies beneath and lets clicks through.
  EXPECT_EQ(baud->nextInFocusChain(), controls.Find(IDC_PARITY));
  auto* frame = window.findChild<QGroupBox*>();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(frame->testAttribute(Qt::WA_TransparentForMouseEvents));
  EXPECT_EQ(window.children().indexOf(frame), 0);
}

}  // namespace
}  // namespace corvelle
