// The window's Host: waits that keep windows alive and end on STOP, what paint-only waits let
// through, descriptor waits, message boxes and save dialogs through their injected functions,
// the busy cursor and the progress window.
#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>
#include <unistd.h>

#include <QApplication>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QWindow>

#include "app/ProgressDlg.h"
#include "app/QtHost.h"

namespace corvelle {
namespace {

// Counts what reaches it.
class Sink : public QWidget {
 public:
  int presses = 0;
  int paints = 0;

 protected:
  void mousePressEvent(QMouseEvent*) override { ++presses; }
  void paintEvent(QPaintEvent*) override { ++paints; }
};

// A click as the window system reports it: queued, delivered when the event loop takes input.
void QueueClick(QWidget& widget) {
  QWindow* window = widget.windowHandle();
  const QPointF at(10, 10);
  const QPointF global = widget.mapToGlobal(at.toPoint());
  QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
      window, at, global, Qt::LeftButton, Qt::LeftButton, QEvent::MouseButtonPress);
  QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
      window, at, global, Qt::NoButton, Qt::LeftButton, QEvent::MouseButtonRelease);
}

class QtHostTest : public ::testing::Test {
 protected:
  QtHostTest() : host(&main) {
    main.resize(200, 150);
    main.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&main));
    QApplication::processEvents();
  }
  std::int64_t Timed(const std::function<void()>& body) {
    const std::int64_t start = host.Now();
    body();
    return host.Now() - start;
  }

  Sink main;
  QtHost host;
};

TEST_F(QtHostTest, WaitLastsItsTimeAndRunsTimers) {
  bool fired = false;
  QTimer::singleShot(5, [&] { fired = true; });
  EXPECT_GE(Timed([&] { host.WaitFor(50); }), 49);
  EXPECT_TRUE(fired);
}

TEST_F(QtHostTest, PaintOnlyWaitRepaintsButHoldsInputBack) {
  int clicksDuring = -1;
  int paintsAtUpdate = 0;
  int paintsDuring = 0;
  QTimer::singleShot(5, [&] {
    QueueClick(main);
    paintsAtUpdate = main.paints;
    main.update();
  });
  QTimer::singleShot(60, [&] {
    clicksDuring = main.presses;
    paintsDuring = main.paints;
  });
  host.WaitFor(100, WaitMode::PaintOnly);
  EXPECT_EQ(clicksDuring, 0);
  EXPECT_GT(paintsDuring, paintsAtUpdate);
  host.PumpMessages();  // the held-back click arrives with the next full pump
  EXPECT_EQ(main.presses, 1);
}

TEST_F(QtHostTest, ResponsiveWaitTakesInput) {
  int clicksDuring = -1;
  QTimer::singleShot(5, [&] { QueueClick(main); });
  QTimer::singleShot(60, [&] { clicksDuring = main.presses; });
  host.WaitFor(100);
  EXPECT_EQ(clicksDuring, 1);
}

TEST_F(QtHostTest, StopEndsAResponsiveWaitAtOnce) {
  std::unique_ptr<ProgressView> view = host.CreateProgressView();
  CProgressDlg* dialog = host.CurrentProgress();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(static_cast<ProgressView*>(dialog), view.get());
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_EQ(dialog->parentWidget(), &main);

  QTimer::singleShot(20, [&] { QTest::mouseClick(dialog->StopButton(), Qt::LeftButton); });
  EXPECT_LT(Timed([&] { host.WaitFor(10'000); }), 5'000);
  EXPECT_TRUE(view->CancelRequested());
  EXPECT_FALSE(dialog->isVisible());

  // While the flag stands, responsive waits return at once; paint-only waits take no input and
  // sleep their time.
  EXPECT_LT(Timed([&] { host.WaitFor(10'000); }), 5'000);
  EXPECT_GE(Timed([&] { host.WaitFor(30, WaitMode::PaintOnly); }), 29);
  view->ClearCancel();
  EXPECT_GE(Timed([&] { host.WaitFor(30); }), 29);

  view.reset();
  EXPECT_EQ(host.CurrentProgress(), nullptr);
  host.WaitFor(1);  // no view any more: nothing to watch
}

TEST_F(QtHostTest, DescriptorWaitEndsWhenReadyOnTimeOrOnStop) {
  int fds[2];
  ASSERT_EQ(::pipe(fds), 0);
  QTimer::singleShot(20, [&] { ASSERT_EQ(::write(fds[1], "x", 1), 1); });
  bool ready = false;
  EXPECT_LT(Timed([&] { ready = host.WaitForFd(fds[0], FdEvent::Readable, 10'000); }), 5'000);
  EXPECT_TRUE(ready);
  EXPECT_TRUE(host.WaitForFd(fds[0], FdEvent::Readable, 0));
  char byte;
  ASSERT_EQ(::read(fds[0], &byte, 1), 1);

  EXPECT_GE(Timed([&] { ready = host.WaitForFd(fds[0], FdEvent::Readable, 40); }), 39);
  EXPECT_FALSE(ready);
  EXPECT_TRUE(host.WaitForFd(fds[1], FdEvent::Writable, 0));
  EXPECT_FALSE(host.WaitForFd(-1, FdEvent::Readable, 0));

  std::unique_ptr<ProgressView> view = host.CreateProgressView();
  QTimer::singleShot(20, [&] { host.CurrentProgress()->StopButton()->click(); });
  EXPECT_LT(Timed([&] { ready = host.WaitForFd(fds[0], FdEvent::Readable, 10'000); }), 5'000);
  EXPECT_FALSE(ready);
  ::close(fds[0]);
  ::close(fds[1]);
}

TEST_F(QtHostTest, MessageStylesChooseIconAndButtons) {
  std::vector<MessageBoxRequest> shown;
  QMessageBox::StandardButton reply = QMessageBox::Ok;
  host.SetMessageBoxFunction([&](const MessageBoxRequest& request) {
    shown.push_back(request);
    return reply;
  });
  EXPECT_EQ(host.ShowMessage("Caf\xE9", MessageStyle::Plain), MessageAnswer::Ok);
  EXPECT_EQ(host.ShowMessage("e", MessageStyle::Error), MessageAnswer::Ok);
  EXPECT_EQ(host.ShowMessage("x", MessageStyle::Exclamation), MessageAnswer::Ok);
  EXPECT_EQ(host.ShowMessage("q", MessageStyle::Question), MessageAnswer::Ok);
  ASSERT_EQ(shown.size(), 4u);
  EXPECT_EQ(shown[0].icon, QMessageBox::NoIcon);
  EXPECT_EQ(shown[1].icon, QMessageBox::Critical);
  EXPECT_EQ(shown[2].icon, QMessageBox::Warning);
  EXPECT_EQ(shown[3].icon, QMessageBox::Question);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(shown[i].buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
  EXPECT_EQ(shown[3].buttons, QMessageBox::Ok | QMessageBox::Cancel);
  EXPECT_EQ(shown[0].title, QStringLiteral("VARNESI - Corvelle"));
  EXPECT_EQ(shown[0].text, QString::fromUtf8("Caf\u00E9"));
  EXPECT_EQ(shown[0].parent, &main);

  reply = QMessageBox::Cancel;  // closing a box with Escape
  EXPECT_EQ(host.ShowMessage("q", MessageStyle::Question), MessageAnswer::Cancel);
  EXPECT_EQ(host.ShowMessage("p", MessageStyle::Plain), MessageAnswer::Ok);
}

TEST(FileFilter, PairsBecomeQtFilters) {
  EXPECT_EQ(ConvertFileFilter("Fonts (*.shc) files | *.shc||"), QStringLiteral("Fonts (*.shc) files (*.shc)"));
  EXPECT_EQ(ConvertFileFilter("Font configuration (*.kvf) | *.kvf||"),
            QStringLiteral("Font configuration (*.kvf) (*.kvf)"));
  EXPECT_EQ(ConvertFileFilter("Images|*.a;*.b|All|*.*||"), QStringLiteral("Images (*.a *.b);;All (*.*)"));
  EXPECT_EQ(ConvertFileFilter("|*.x||"), QStringLiteral("(*.x)"));
  EXPECT_EQ(ConvertFileFilter(""), QString());
  EXPECT_EQ(ConvertFileFilter("||"), QString());
  EXPECT_EQ(ConvertFileFilter("Dangling"), QString());
  EXPECT_EQ(ConvertFileFilter("No pattern||Real|*.r||"), QString());  // the list ends at the first "||"
}

TEST_F(QtHostTest, SaveDialogIsAskedWhatTheRequestSays) {
  SaveDialogSpec seen;
  std::optional<QString> answer = QStringLiteral("/tmp/out/FontSet.SHC");
  host.SetSaveDialogFunction([&](const SaveDialogSpec& spec) {
    seen = spec;
    return answer;
  });
  SaveDialogRequest request{"FontSet.SHF", "shf", "Fonts (*.shc) files | *.shc||", true, true};
  EXPECT_EQ(host.AskSavePath(request), std::optional<std::string>("/tmp/out/FontSet.SHC"));
  EXPECT_EQ(seen.fileName, QStringLiteral("FontSet.SHF"));
  EXPECT_EQ(seen.defaultSuffix, QStringLiteral("shf"));
  EXPECT_EQ(seen.nameFilter, QStringLiteral("Fonts (*.shc) files (*.shc)"));
  EXPECT_TRUE(seen.confirmOverwrite);
  EXPECT_EQ(seen.parent, &main);

  request.overwritePrompt = false;
  answer = QString::fromUtf8("/tmp/caf\u00E9.shc");  // file names go back as the file system spells them
  EXPECT_EQ(host.AskSavePath(request), std::optional<std::string>("/tmp/caf\xC3\xA9.shc"));
  EXPECT_FALSE(seen.confirmOverwrite);

  answer = std::nullopt;
  EXPECT_EQ(host.AskSavePath(request), std::nullopt);
  answer = QString();
  EXPECT_EQ(host.AskSavePath(request), std::nullopt);
}

TEST_F(QtHostTest, BusyCursorIsBalanced) {
  ASSERT_EQ(QApplication::overrideCursor(), nullptr);
  host.SetBusy(true);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::WaitCursor);
  host.SetBusy(true);
  host.SetBusy(false);
  EXPECT_NE(QApplication::overrideCursor(), nullptr);
  host.SetBusy(false);
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);

  // An unmatched "not busy" leaves someone else's cursor alone.
  QApplication::setOverrideCursor(Qt::CrossCursor);
  host.SetBusy(false);
  ASSERT_NE(QApplication::overrideCursor(), nullptr);
  EXPECT_EQ(QApplication::overrideCursor()->shape(), Qt::CrossCursor);
  QApplication::restoreOverrideCursor();

  {
    QtHost leftBusy;
    leftBusy.SetBusy(true);
  }
  EXPECT_EQ(QApplication::overrideCursor(), nullptr);
}

}  // namespace
}  // namespace corvelle
