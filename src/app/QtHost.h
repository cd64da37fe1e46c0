// SPDX-License-Identifier: MIT
// The window's Host: steady-clock time, waits on nested event loops that keep the windows alive
// (and end early on STOP), message boxes, the save-file dialog, the wait cursor and the progress
// window. The message box and the save dialog can be replaced, so that tests never block on them.
#pragma once

#include <QMessageBox>
#include <QPointer>
#include <QString>
#include <QWidget>
#include <functional>
#include <optional>
#include <string_view>

#include "base/Host.h"

class QEventLoop;

namespace corvelle {

class CProgressDlg;
class RecentFolder;

struct MessageBoxRequest {
  QWidget* parent = nullptr;
  QString title;
  QString text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons = QMessageBox::Ok;
};
// Shows the box and answers the button pressed.
using MessageBoxFunction = std::function<QMessageBox::StandardButton(const MessageBoxRequest&)>;

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
  bool WaitForFd(int fd, FdEvent event, std::int64_t timeoutMs) override;
  void PumpMessages() override;
  MessageAnswer ShowMessage(const std::string& text, MessageStyle style) override;
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

  QPointer<QWidget> m_mainWindow;
  QPointer<CProgressDlg> m_progress;
  MessageBoxFunction m_messageBox;
  SaveDialogFunction m_saveDialog;
  RecentFolder* m_recent = nullptr;
  int m_busyDepth = 0;
};

}  // namespace corvelle
