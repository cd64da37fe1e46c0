// SPDX-License-Identifier: MIT
// The window's Host: what paint-only waits let through, STOP and Escape ending a wait, the busy
// cursor, which message box each message style asks for, and the save dialogs' starting folder;
// the progress window's bar.
#include <qpa/qwindowsysteminterface.h>

#include <QPointer>

#include "AppTesting.h"

namespace corvelle {

// Counts what reaches it.
struct Sink : QWidget {
  void mousePressEvent(QMouseEvent*) override { ++presses; }
  void paintEvent(QPaintEvent*) override { ++paints; }
  int presses = 0, paints = 0;
};

class QtHostTest : public ::testing::Test {
 protected:
  QtHostTest() : host(&main) {
    host.SetMessageBoxFunction([this](const MessageBoxRequest& request) {
      boxes.push_back(request);
      return press;
    });
    main.resize(200, 150);
    main.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&main));
    QApplication::processEvents();
  }
  // The boxes' texts and informative texts, as "text/informative" joined with " | ".
  std::string Boxes(std::size_t from = 0) const {
    std::string all;
    for (std::size_t i = from; i < boxes.size(); ++i) {
      all += (i == from ? "" : " | ") + boxes[i].text.toStdString() + "/" + boxes[i].informativeText.toStdString();
    }
    return all;
  }

  Sink main;
  QtHost host;
  std::vector<MessageBoxRequest> boxes;  // the message boxes asked for
  QMessageBox::StandardButton press = QMessageBox::Ok;  // the button each is closed with
};

// A click queued during the wait (as the window system reports it: held until the event loop
// takes input): a paint-only wait repaints but holds it back until the next full pump; a
// responsive wait takes it at once.
TEST_F(QtHostTest, PaintOnlyWaitRepaintsButHoldsInputBack) {
  for (const WaitMode mode : {WaitMode::PaintOnly, WaitMode::Responsive}) {
    const int presses = main.presses;
    int pressesDuring = -1, paintsBefore = 0, paintsDuring = 0;
    QTimer::singleShot(5, [&] {
      for (const auto& [buttons, type] :
           {std::pair{Qt::LeftButton, QEvent::MouseButtonPress}, {Qt::NoButton, QEvent::MouseButtonRelease}}) {
        QWindowSystemInterface::handleMouseEvent<QWindowSystemInterface::AsynchronousDelivery>(
            main.windowHandle(), QPointF(10, 10), main.mapToGlobal(QPointF(10, 10)), buttons, Qt::LeftButton, type);
      }
      paintsBefore = main.paints;
      main.update();
    });
    QTimer::singleShot(60,
                       [&] { std::tie(pressesDuring, paintsDuring) = std::pair(main.presses - presses, main.paints); });
    host.WaitFor(100, mode);
    EXPECT_EQ(pressesDuring, mode == WaitMode::PaintOnly ? 0 : 1);
    EXPECT_GT(paintsDuring, paintsBefore);
    host.PumpMessages();
    EXPECT_EQ(main.presses - presses, 1);
  }
}

// STOP and Escape raise the flag and hide the progress window without destroying it (its view
// does), and end a wait at once.
TEST_F(QtHostTest, StopOrEscapeEndsAWaitAtOnce) {
  for (const bool escape : {false, true}) {
    SCOPED_TRACE(escape ? "Escape" : "STOP");
    std::unique_ptr<ProgressView> view = host.CreateProgressView();
    const QPointer<CProgressDlg> dialog = host.CurrentProgress();
    ASSERT_NE(dialog, nullptr);
    int signalled = 0;
    QObject::connect(dialog, &CProgressDlg::StopPressed, [&] { ++signalled; });
    QTimer::singleShot(20, [&] {
      escape ? QTest::keyClick(dialog, Qt::Key_Escape) : QTest::mouseClick(dialog->StopButton(), Qt::LeftButton);
    });
    const std::int64_t start = host.Now();
    host.WaitFor(10'000);
    EXPECT_TRUE(host.Now() - start < 5'000 && view->CancelRequested() && dialog && !dialog->isVisible() && signalled == 1);
    view.reset();
    EXPECT_TRUE(dialog.isNull() && host.CurrentProgress() == nullptr);
  }
}

TEST_F(QtHostTest, BusyCursorIsBalanced) {
  const auto cursor = [] { return QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : -1; };
  for (const bool busy : {true, true, false}) host.SetBusy(busy);
  EXPECT_EQ(cursor(), Qt::WaitCursor);
  host.SetBusy(false);
  EXPECT_EQ(cursor(), -1);
  // An unmatched "not busy" leaves someone else's cursor alone; a host left busy restores it.
  QApplication::setOverrideCursor(Qt::CrossCursor);
  host.SetBusy(false);
  EXPECT_EQ(cursor(), Qt::CrossCursor);
  QApplication::restoreOverrideCursor();
  std::make_unique<QtHost>()->SetBusy(true);
  EXPECT_EQ(cursor(), -1);
}

// Each style's icon and buttons; the two-answer question: captions of its own on Yes and No,
// Cancel beside them, the preferred answer on Enter, Escape (Cancel) as no answer.
TEST_F(QtHostTest, MessageStylesChooseIconAndButtons) {
  press = QMessageBox::Cancel;  // the box closed with Escape
  using enum MessageStyle;
  for (const auto& [style, icon, answer] : {std::tuple{Plain, QMessageBox::NoIcon, MessageAnswer::Ok},
                                            {Error, QMessageBox::Critical, MessageAnswer::Ok},
                                            {Exclamation, QMessageBox::Warning, MessageAnswer::Ok},
                                            {Question, QMessageBox::Question, MessageAnswer::Cancel}}) {
    SCOPED_TRACE(static_cast<int>(style));
    EXPECT_EQ(host.ShowMessage("Caf\xE9", style), answer);
    host.FlushMessages();
    EXPECT_EQ(std::pair(boxes.back().icon, boxes.back().buttons),
              std::pair(icon, QMessageBox::Ok | (style == Question ? QMessageBox::Cancel : QMessageBox::NoButton)));
  }
  EXPECT_EQ(std::tie(boxes.back().text, boxes.back().parent), std::tuple(QString::fromUtf8("Caf\u00E9"), &main));

  const ChoiceQuestion question{"Store it?", "Position 010", "Store", "Keep", Choice::Second};
  for (const auto& [button, answer] : {std::pair{QMessageBox::No, Choice::Second}, {QMessageBox::Yes, Choice::First},
                                       {QMessageBox::Cancel, Choice::Cancel}}) {
    press = button;
    EXPECT_EQ(host.Choose(question), answer);
  }
  const MessageBoxRequest& request = boxes.back();
  EXPECT_EQ(std::tuple(request.icon, request.buttons, request.defaultButton, request.informativeText),
            std::tuple(QMessageBox::Question, QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, QMessageBox::No,
                       QStringLiteral("Position 010")));
  EXPECT_EQ(request.captions, decltype(request.captions)({{QMessageBox::Yes, QStringLiteral("Store")},
                                                          {QMessageBox::No, QStringLiteral("Keep")}}));
}

// A message waits for the detail that follows it and both make one box; the next call of the host
// or the next turn of the event loop shows it, always before what comes after it.
TEST_F(QtHostTest, AMessageAndItsDetailsMakeOneBoxShownBeforeAnythingThatFollows) {
  host.SetSaveDialogFunction([](const SaveDialogSpec&) { return std::optional<QString>(); });
  host.ShowMessage("Failed to connect", MessageStyle::Plain);
  host.ShowDetail("127.0.0.1 port 9: Connection refused");
  host.ShowDetail("second line");
  EXPECT_TRUE(boxes.empty()) << "held for its detail";
  EXPECT_EQ(host.ShowMessage("Go on?", MessageStyle::Question), MessageAnswer::Ok);
  EXPECT_EQ(Boxes(), "Failed to connect/127.0.0.1 port 9: Connection refused\nsecond line | Go on?/");
  host.ShowDetail("a detail after its box has gone is dropped");
  host.ShowMessage("Error", MessageStyle::Error);
  host.ShowMessage("Fonts stored", MessageStyle::Plain);  // shows the first
  EXPECT_EQ(boxes.size(), 3u);
  QApplication::processEvents();  // the window's handler returned: the last one shows too
  EXPECT_EQ(Boxes(2), "Error/ | Fonts stored/");
  for (const auto& next : std::vector<std::function<void()>>{
           [&] { host.WaitFor(0); }, [&] { host.PumpMessages(); }, [&] { host.CreateProgressView(); },
           [&] { host.AskSavePath({}); }, [&] { host.SetBusy(true); }, [&] { host.SetBusy(false); },
           [&] { host.Choose({"Which?", "", "One", "Two"}); }, [&] { host.FlushMessages(); }}) {
    const size_t before = boxes.size();
    host.ShowMessage("next", MessageStyle::Plain);
    next();
    ASSERT_GE(boxes.size(), before + 1);
    EXPECT_EQ(boxes[before].text, QStringLiteral("next")) << "first in line";
  }
  // The paths and names a message quotes are UTF-8, as the file system gives them; a text that is
  // not UTF-8 is shown one character per byte.
  host.ShowMessage("Cannot open /home/zo\u00eb/\u041f\u0435\u0447\u0430\u0442\u044c.kvf", MessageStyle::Error);
  host.ShowDetail("caf\xe9");
  host.FlushMessages();
  EXPECT_EQ(Boxes(boxes.size() - 1), "Cannot open /home/zo\u00eb/\u041f\u0435\u0447\u0430\u0442\u044c.kvf/caf\u00e9");
}

// A save dialog starts where the last one ended (where the first one starts, and that the folder
// survives a restart, the main window's open dialog shows); a cancelled one moves nothing; the
// filter shows each pattern once. A folder whose name holds a line break would end the profile
// line early and plant keys of its own: it is not remembered.
TEST_F(QtHostTest, SaveDialogsStartInTheFolderLastChosen) {
  const test::TempDir dir;
  dir.Write("a/placeholder", "");
  std::vector<SaveDialogSpec> asked;
  const std::optional<QString> answers[] = {QString::fromStdString(dir.File("a/set.kvf")), std::nullopt,
                                            QString::fromStdString(dir.File("x\n[Impostazione porta]\nPort=LPT1:\n/set.kvf")),
                                            std::nullopt};
  host.SetSaveDialogFunction([&](const SaveDialogSpec& spec) {
    asked.push_back(spec);
    return answers[asked.size() - 1];
  });
  Profile profile(dir.File("corvelle.ini"));
  RecentFolder recent(profile);
  host.SetRecentFolder(&recent);
  for (int i = 0; i < 4; ++i) host.AskSavePath({"fontext.out", "out", "Output file (*.out) | *.out||"});
  host.SetRecentFolder(nullptr);
  const std::string a = dir.File("a");
  EXPECT_EQ((asked[1].directory + "|" + asked[2].directory + "|" + asked[3].directory).toStdString(), a + "|" + a + "|" + a);
  EXPECT_EQ(asked[0].nameFilter + "|" + asked[0].fileName, QStringLiteral("Output file (*.out)|fontext.out"));
  EXPECT_FALSE(Profile(dir.File("corvelle.ini")).HasKey("Impostazione porta", "Port"));
}

// The progress window's bar shows positions outside its range as its ends.
TEST(ProgressDlg, ShowsPositionsOutsideTheRangeAsItsEnds) {
  CProgressDlg dialog;
  dialog.SetRange(0, 100);
  for (const auto& [position, shown] : {std::pair{40, 40}, {150, 100}, {-3, 0}}) {
    dialog.SetPosition(position);
    EXPECT_EQ(dialog.ProgressBar()->value(), shown) << position;
  }
}

}  // namespace corvelle
