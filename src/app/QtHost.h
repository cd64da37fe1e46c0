// SPDX-License-Identifier: MIT
// The window's Host: steady-clock time, waits on nested event loops that keep the windows alive
// (and end early on STOP), message boxes, the save-file dialog, the wait cursor and the progress
// window. The message box and the save dialog can be replaced, so that tests never block on them.
// A message the engine shows is held back until its detail (the device, address or system reason
// that follows it) has arrived, and both are shown in one box: the detail as its informative text.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Host.h"

class QEventLoop;

namespace corvelle {

class CProgressDlg;
class RecentFolder;

struct MessageBoxRequest {
  QWidget* parent = nullptr;
  QString title;
  QString text;
  QString informativeText;  // below the text: the detail of a message, what a question is about
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
  // Buttons that carry captions of their own instead of the standard ones.
  std::vector<std::pair<QMessageBox::StandardButton, QString>> captions;
  QMessageBox::StandardButton defaultButton = QMessageBox::NoButton;  // Enter; none: Qt's choice
};
// Shows the box and answers the button pressed.
using MessageBoxFunction = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;
// The host's own: a modal QMessageBox, wide enough for its whole title.
QMessageBox::StandardButton RunMessageBox(const MessageBoxRequest& request);

// A question with two answers of its own besides Cancel (which Escape gives too).
enum class Choice { First, Second, Cancel };
struct ChoiceQuestion {
  std::string text;                  // the question
  std::string detail;                // what it is about, shown below the question
  std::string first, second;         // the two answers' captions
  Choice preferred = Choice::First;  // the answer Enter gives
};
using ChoiceFunction = std::function<Choice(const ChoiceQuestion&)>;

struct SaveDialogSpec {
  QWidget* parent = nullptr;
  QString title;
  QString fileName;       // proposed name
  QString nameFilter;     // in QFileDialog's form: "Description (*.ext)" entries joined by ";;"
  QString defaultSuffix;  // added when the user types no extension
  bool confirmOverwrite = true;
  QString directory;      // where the dialog starts; empty: its own choice
};
// Shows the dialog; the chosen path, or nullopt when cancelled.
using SaveDialogFunction = std::function<std::optional<QString>(const SaveDialogSpec&)>;

struct OpenDialogSpec {
  QWidget* parent = nullptr;
  QString title;
  QString nameFilter;     // as for SaveDialogSpec
  QString defaultSuffix;  // added when the user types no extension
  QString directory;      // where the dialog starts; empty: its own choice
};
// Shows an open-file dialog that accepts existing files only; the chosen path, or nullopt.
using OpenDialogFunction = std::function<std::optional<QString>(const OpenDialogSpec&)>;
std::optional<QString> RunOpenDialog(const OpenDialogSpec& spec);

// "Desc | *.a;*.b|Other | *.c||" to QFileDialog's "Desc (*.a *.b);;Other (*.c)"; a description
// that already ends with its patterns ("Desc (*.a)") is not given them twice.
QString ConvertFileFilter(std::string_view filter);

class QtHost : public Host {
 public:
  explicit QtHost(QWidget* mainWindow = nullptr);
  ~QtHost() override;
  QtHost(const QtHost&) = delete;
  QtHost& operator=(const QtHost&) = delete;

  // The window that message boxes and the progress window stand over.
  void SetMainWindow(QWidget* mainWindow) { m_mainWindow = mainWindow; }
  void SetMessageBoxFunction(MessageBoxFunction show) { m_messageBox = std::move(show); }
  void SetSaveDialogFunction(SaveDialogFunction ask) { m_saveDialog = std::move(ask); }
  // Save dialogs start in this folder and remember the one chosen; null: no memory.
  void SetRecentFolder(RecentFolder* recent) { m_recent = recent; }

  std::int64_t Now() override;
  void WaitFor(std::int64_t ms, WaitMode mode = WaitMode::Responsive) override;
  bool WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) override;
  void PumpMessages() override;
  // A question is asked at once; any other message waits for its detail until the next call of
  // this host or the next turn of the event loop, whichever comes first.
  MessageAnswer ShowMessage(const std::string& text, MessageStyle style) override;
  void ShowDetail(const std::string& text) override;
  // Shows the message still waiting for its detail, if any, now.
  void FlushMessages();
  // Asks `question` in a box over the window in front, after any message still waiting.
  Choice Choose(const ChoiceQuestion& question);
  std::optional<std::string> AskSavePath(const SaveDialogRequest& request) override;
  // Calls are counted: each SetBusy(false) undoes one earlier SetBusy(true) and no more.
  void SetBusy(bool busy) override;
  std::unique_ptr<ProgressView> CreateProgressView() override;

  // The progress window made last, while it exists.
  CProgressDlg* CurrentProgress() const;

 private:
  bool StopRaised() const;
  QWidget* DialogParent() const;
  // Runs `loop` until it is quit, `ms` pass, or STOP is pressed.
  void RunLoop(QEventLoop& loop, std::int64_t ms, bool paintOnly);
  MessageBoxRequest Request(const std::string& text, MessageStyle style) const;

  struct PendingMessage {
    std::string text;
    MessageStyle style;
    std::string detail;  // its detail lines, joined by line breaks
  };

  QPointer<QWidget> m_mainWindow;
  QPointer<CProgressDlg> m_progress;
  MessageBoxFunction m_messageBox;
  SaveDialogFunction m_saveDialog;
  RecentFolder* m_recent = nullptr;
  int m_busyDepth = 0;
  std::optional<PendingMessage> m_pending;
  // Context of the event-loop turn that shows a waiting message: it goes with the host.
  std::unique_ptr<QObject> m_flushContext;
};

}  // namespace corvelle
