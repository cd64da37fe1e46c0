// The window's Host: what paint-only waits let through, STOP ending a wait, the busy cursor, and
// which message box each message style asks for.
#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "app/ProgressDlg.h"
#include "app/QtHost.h"

namespace corvelle {

// Counts what reaches it.
struct Sink : QWidget {
  void mousePressEvent(QMouseEvent*) override { ++presses; }
  void paintEvent(QPaintEvent*) override { ++paints; }
  int presses = 0;
  int paints = 0;
};

class QtHostTest : public ::testing::Test {
 protected:
  QtHostTest() : host(&main) {
    main.resize(200, 150);
    main.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&main));
    QApplication::processEvents();
  }
  // A click as the window system reports it: queued until the event loop takes input.
  void QueueClick() {
    const QPointF at(10, 10);
    const QPointF global = main.mapToGlobal(at);
    for (const auto& [buttons, type] : {std::pair{Qt::LeftButton, QEvent::MouseButtonPress},
                                        {Qt::NoButton, QEvent::MouseButtonRelease}}) {
      QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
          main.windowHandle(), at, global, buttons, Qt::LeftButton, type);
    }
  }

  Sink main;
  QtHost host;
};

TEST_F(QtHostTest, PaintOnlyWaitRepaintsButHoldsInputBack) {
  int pressesDuring = -1;
  int paintsBefore = 0;
  int paintsDuring = 0;
  QTimer::singleShot(5, [&] {
    QueueClick();
    paintsBefore = main.paints;
    main.update();
  });
  QTimer::singleShot(60, [&] {
    pressesDuring = main.presses;
    paintsDuring = main.paints;
  });
  host.WaitFor(100, WaitMode::PaintOnly);
  EXPECT_EQ(pressesDuring, 0);
  EXPECT_GT(paintsDuring, paintsBefore);
  host.PumpMessages();  // the held-back click arrives with the next full pump
  EXPECT_EQ(main.presses, 1);
  QTimer::singleShot(5, [&] { QueueClick(); });
  QTimer::singleShot(60, [&] { pressesDuring = main.presses; });
  host.WaitFor(100);  // a responsive wait takes it at once
  EXPECT_EQ(pressesDuring, 2);
}

TEST_F(QtHostTest, StopEndsAWaitAtOnce) {
  std::unique_ptr<ProgressView> view = host.CreateProgressView();
  CProgressDlg* dialog = host.CurrentProgress();
  ASSERT_NE(dialog, nullptr);
  QTimer::singleShot(20, [&] { QTest::mouseClick(dialog->StopButton(), Qt::LeftButton); });
  const std::int64_t start = host.Now();
  host.WaitFor(10'000);
  EXPECT_LT(host.Now() - start, 5'000);
  EXPECT_TRUE(view->CancelRequested());
  EXPECT_FALSE(dialog->isVisible());
  view.reset();
  EXPECT_EQ(host.CurrentProgress(), nullptr);
}

TEST_F(QtHostTest, BusyCursorIsBalanced) {
  host.SetBusy(true);
  host.SetBusy(true);
  host.SetBusy(false);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  host.SetBusy(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
  // An unmatched "not busy" leaves someone else's cursor alone; a host left busy restores it.
  QApplication::setOverrideCursor(Qt::CrossCursor);
  host.SetBusy(false);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
  QApplication::restoreOverrideCursor();
  std::make_unique<QtHost>()->SetBusy(true);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

TEST_F(QtHostTest, MessageStylesChooseIconAndButtons) {
  std::vector<MessageBoxRequest> shown;
  host.SetMessageBoxFunction([&](const MessageBoxRequest& request) {
    shown.push_back(request);
    return QMessageBox::Cancel;  // the box closed with Escape
  });
  const struct { MessageStyle style; QMessageBox::Icon icon; MessageAnswer answer; } rows[] = {
      {MessageStyle::Plain, QMessageBox::NoIcon, MessageAnswer::Ok},
      {MessageStyle::Error, QMessageBox::Critical, MessageAnswer::Ok},
      {MessageStyle::Exclamation, QMessageBox::Warning, MessageAnswer::Ok},
      {MessageStyle::Question, QMessageBox::Question, MessageAnswer::Cancel}};
  for (const auto& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.style));
    EXPECT_EQ(host.ShowMessage("Caf\xE9", row.style), row.answer);
    EXPECT_EQ(shown.back().icon, row.icon);
    const bool question = row.style == MessageStyle::Question;
    EXPECT_EQ(shown.back().buttons, QMessageBox::Ok | (question ? QMessageBox::Cancel : QMessageBox::NoButton));
    EXPECT_EQ(shown.back().title, QStringLiteral("VARNESI - Corvelle"));
    EXPECT_EQ(shown.back().text, QString::fromUtf8("Caf\u00E9"));
    EXPECT_EQ(shown.back().parent, &main);
  }
}

}  // namespace corvelle
