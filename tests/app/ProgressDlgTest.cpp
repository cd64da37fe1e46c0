// The progress window: layout, bar and lines, STOP and Escape, the enlarged icon.
#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include "WidgetTesting.h"
#include "app/AppIcon.h"
#include "app/DialogUnits.h"
#include "app/IconButton.h"
#include "app/ProgressDlg.h"

namespace corvelle {
namespace {

using layouts::DlgRect;
using test::Pixel;

TEST(ProgressDlg, FollowsTheTemplate) {
  CProgressDlg dialog;
  const DialogUnits units(DialogFont());
  EXPECT_EQ(dialog.size(), units.ToPixels(161, 82));
  EXPECT_TRUE(dialog.windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(dialog.MessageLine()->geometry(), units.ToPixels(DlgRect{55, 5, 100, 19}));
  EXPECT_EQ(dialog.ProgressBar()->geometry(), units.ToPixels(DlgRect{55, 25, 96, 8}));
  EXPECT_EQ(dialog.StatusLine()->geometry(), units.ToPixels(DlgRect{55, 37, 98, 8}));
  EXPECT_EQ(dialog.StopButton()->geometry(), units.ToPixels(DlgRect{100, 60, 50, 14}));
  EXPECT_EQ(dialog.StopButton()->text(), QStringLiteral("STOP"));
  EXPECT_EQ(dialog.StopButton()->objectName(), QStringLiteral("2"));
  EXPECT_EQ(dialog.MessageLine()->text(), QStringLiteral("msg"));
  EXPECT_EQ(dialog.StatusLine()->text(), QStringLiteral("."));  // until the caller writes into it
  EXPECT_EQ(dialog.m_cancelRequested, 0);
}

TEST(ProgressDlg, IconButtonIsTwiceTheIconPlusEightWhateverTheTemplateSays) {
  CProgressDlg dialog;
  CIconButton* icon = dialog.IconButton();
  const int size = StandardIconSize();
  ASSERT_EQ(size, 32);
  EXPECT_EQ(icon->size(), QSize(72, 72));
  const DialogUnits units(DialogFont());
  EXPECT_EQ(icon->pos(), units.ToPixels(DlgRect{3, 5, 38, 40}).topLeft());  // keeps its place
  EXPECT_FALSE(icon->isEnabled());
  EXPECT_EQ(icon->focusPolicy(), Qt::NoFocus);
}

TEST(ProgressDlg, IconButtonTakesNoClickAndNoFocus) {
  CProgressDlg dialog;
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QWidget* focusBefore = dialog.focusWidget();
  QTest::mouseClick(dialog.IconButton(), Qt::LeftButton, Qt::NoModifier, QPoint(30, 30));
  EXPECT_EQ(dialog.focusWidget(), focusBefore);
  EXPECT_NE(dialog.focusWidget(), dialog.IconButton());
  EXPECT_EQ(dialog.m_cancelRequested, 0);
  EXPECT_TRUE(dialog.isVisible());
}

TEST(ProgressDlg, BarShowsPositionsWithinItsRange) {
  CProgressDlg dialog;
  dialog.SetRange(0, 100);
  dialog.SetPosition(40);
  EXPECT_EQ(dialog.ProgressBar()->value(), 40);
  dialog.SetPosition(150);  // past the end: full
  EXPECT_EQ(dialog.ProgressBar()->value(), 100);
  dialog.SetPosition(-3);
  EXPECT_EQ(dialog.ProgressBar()->value(), 0);
  dialog.SetMessage("Upgrading printer...");
  dialog.SetStatus("Caf\xE9");  // single-byte text is Latin-1
  EXPECT_EQ(dialog.MessageLine()->text(), QStringLiteral("Upgrading printer..."));
  EXPECT_EQ(dialog.StatusLine()->text(), QString::fromUtf8("Caf\u00E9"));
}

TEST(ProgressDlg, StopRaisesTheFlagAndHidesWithoutDestroying) {
  QPointer<CProgressDlg> dialog = new CProgressDlg;
  dialog->show();
  int signals_ = 0;
  QObject::connect(dialog, &CProgressDlg::StopPressed, [&] { ++signals_; });
  QTest::mouseClick(dialog->StopButton(), Qt::LeftButton);
  ASSERT_FALSE(dialog.isNull());
  EXPECT_EQ(dialog->m_cancelRequested, 1);
  EXPECT_TRUE(dialog->CancelRequested());
  EXPECT_FALSE(dialog->isVisible());
  EXPECT_EQ(signals_, 1);
  QApplication::processEvents();
  EXPECT_FALSE(dialog.isNull());  // the caller deletes it
  EXPECT_TRUE(dialog->CancelRequested());
  dialog->ClearCancel();
  EXPECT_EQ(dialog->m_cancelRequested, 0);
  delete dialog;
}

TEST(ProgressDlg, EscapeIsStop) {
  CProgressDlg dialog;
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  QTest::keyClick(&dialog, Qt::Key_Escape);
  EXPECT_EQ(dialog.m_cancelRequested, 1);
  EXPECT_FALSE(dialog.isVisible());
}

TEST(ProgressDlg, StandsCentredOverItsParent) {
  QWidget main;
  main.setGeometry(100, 80, 640, 480);
  main.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&main));
  CProgressDlg dialog(&main);
  const QPoint offset = dialog.frameGeometry().center() - main.frameGeometry().center();
  EXPECT_LE(offset.manhattanLength(), 2);
}

TEST(ProgressDlg, IconIsDrawnDoubleInsideAFrameWithAShadow) {
  CProgressDlg dialog;
  CIconButton* button = dialog.IconButton();
  const QColor window = button->palette().color(QPalette::Window);
  const QImage face = test::Render(*button, window);
  const int w = face.width();
  const int h = face.height();
  EXPECT_EQ(Pixel(face, {0, 0}), QColor(Qt::black));
  EXPECT_EQ(Pixel(face, {w - 5, h - 5}), QColor(Qt::black));
  EXPECT_EQ(Pixel(face, {1, 1}), QColor(Qt::white));  // the frame's fill shows between frame and picture
  EXPECT_EQ(Pixel(face, {w - 1, h - 1}), QColor(64, 64, 64));
  EXPECT_EQ(Pixel(face, {w - 4, 4}), QColor(64, 64, 64));
  EXPECT_EQ(Pixel(face, {4, h - 4}), QColor(64, 64, 64));
  EXPECT_EQ(Pixel(face, {w - 1, 0}), window);  // the corners beside the shadow stay as they were
  EXPECT_EQ(Pixel(face, {0, h - 1}), window);

  // The picture is the icon over the window's background, each icon pixel a 2 x 2 block.
  const QImage icon = AppIconPixmap().toImage();
  QImage expected(icon.size(), QImage::Format_ARGB32);
  expected.fill(window);
  {
    QPainter painter(&expected);
    painter.drawImage(0, 0, icon);
  }
  int differing = 0;
  for (int y = 0; y < icon.height(); ++y) {
    for (int x = 0; x < icon.width(); ++x) {
      for (const QPoint d : {QPoint(0, 0), QPoint(1, 0), QPoint(0, 1), QPoint(1, 1)}) {
        differing += face.pixel(2 + 2 * x + d.x(), 2 + 2 * y + d.y()) != expected.pixel(x, y) ? 1 : 0;
      }
    }
  }
  EXPECT_EQ(differing, 0);

  // Drawing again starts from the face as it is and gives the same picture.
  EXPECT_EQ(test::Render(*button, window), face);
}

}  // namespace
}  // namespace corvelle
