// SPDX-License-Identifier: MIT
// The window's Host on Qt.
#include "app/QtHost.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEventLoop>
#include <QFileDialog>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <climits>

#include "app/FileNames.h"
#include "app/ProgressDlg.h"
#include "app/QtHostWait.h"
#include "app/RecentFolder.h"
#include "app/Text.h"
#include "app/WindowTitle.h"
#include "resources/Layouts.h"

namespace corvelle {

QMessageBox::StandardButton RunMessageBox(const MessageBoxRequest& request) {
  QMessageBox box(request.icon, request.title, request.text, request.buttons, request.parent);
  box.setInformativeText(request.informativeText);
  for (const auto& [button, caption] : request.captions) {
    if (QAbstractButton* shown = box.button(button)) shown->setText(caption);
  }
  if (request.defaultButton != QMessageBox::NoButton) box.setDefaultButton(request.defaultButton);
  KeepTitleWhole(box);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

namespace {

void SetFilter(QFileDialog& dialog, const QString& nameFilter, const QString& defaultSuffix, const QString& directory) {
  if (!directory.isEmpty()) dialog.setDirectory(directory);
  if (!nameFilter.isEmpty()) dialog.setNameFilter(nameFilter);
  dialog.setDefaultSuffix(defaultSuffix);
}

// The chosen path, or nullopt when cancelled.
std::optional<QString> ExecFileDialog(QFileDialog& dialog) {
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

std::optional<QString> RunSaveDialog(const SaveDialogSpec& spec) {
  QFileDialog dialog(spec.parent, spec.title);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  SetFilter(dialog, spec.nameFilter, spec.defaultSuffix, spec.directory);
  dialog.setOption(QFileDialog::DontConfirmOverwrite, !spec.confirmOverwrite);
  // Proposed after the filter is set, so that choosing the filter does not rewrite the name.
  dialog.selectFile(spec.fileName);
  return ExecFileDialog(dialog);
}

}  // namespace

std::optional<QString> RunOpenDialog(const OpenDialogSpec& spec) {
  QFileDialog dialog(spec.parent, spec.title);
  dialog.setAcceptMode(QFileDialog::AcceptOpen);
  dialog.setFileMode(QFileDialog::ExistingFile);
  SetFilter(dialog, spec.nameFilter, spec.defaultSuffix, spec.directory);
  return ExecFileDialog(dialog);
}

QString ConvertFileFilter(std::string_view filter) {
  // The list ends at the first "||"; before it, descriptions and patterns alternate.
  const std::string_view list = filter.substr(0, filter.find("||"));
  const QStringList parts = QString::fromLatin1(list.data(), static_cast<qsizetype>(list.size())).split(QLatin1Char('|'));
  QStringList entries;
  for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
    const QString description = parts[i].trimmed();
    QString patterns = parts[i + 1].trimmed();
    if (patterns.isEmpty()) continue;
    patterns.replace(QLatin1Char(';'), QLatin1Char(' '));
    const QString shown = QStringLiteral("(%1)").arg(patterns);
    // The patterns are shown once, last, where the file dialog reads them from: a description
    // that names them already ("Fonts (*.shc) files") loses its own copy.
    const QString words = QString(description).remove(shown).simplified();
    entries << (words.isEmpty() ? shown : words + QLatin1Char(' ') + shown);
  }
  return entries.join(QStringLiteral(";;"));
}

QtHost::QtHost(QWidget* mainWindow)
    : m_mainWindow(mainWindow),
      m_messageBox(RunMessageBox),
      m_saveDialog(RunSaveDialog),
      m_flushContext(std::make_unique<QObject>()) {}

QtHost::~QtHost() {
  while (m_busyDepth > 0) SetBusy(false);
  // A message shown as the last thing before the program ends is still seen.
  FlushMessages();
}

std::int64_t QtHost::Now() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

CProgressDlg* QtHost::CurrentProgress() const { return m_progress; }

bool QtHost::StopRaised() const { return m_progress != nullptr && m_progress->CancelRequested(); }

void QtHost::RunLoop(QEventLoop& loop, std::int64_t ms, bool paintOnly) {
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, &loop, &QEventLoop::quit);
  QMetaObject::Connection stop;
  if (!paintOnly && m_progress != nullptr) {
    stop = QObject::connect(m_progress, &CProgressDlg::StopPressed, &loop, &QEventLoop::quit);
  }
  timer.start(static_cast<int>(std::clamp<std::int64_t>(ms, 0, INT_MAX)));
  loop.exec(paintOnly ? QEventLoop::ExcludeUserInputEvents : QEventLoop::AllEvents);
  QObject::disconnect(stop);
}

void QtHost::WaitFor(std::int64_t ms, WaitMode mode) {
  FlushMessages();
  const bool paintOnly = mode == WaitMode::PaintOnly;
  if (!paintOnly && StopRaised()) return;
  QEventLoop loop;
  RunLoop(loop, ms, paintOnly);
}

bool QtHost::WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) {
  FlushMessages();
  if (!IsValidHandle(fd) || StopRaised()) return false;
  if (FdReadyNow(fd, event)) return true;
  QEventLoop loop;
  // Qt watches a descriptor on Linux and a socket on Windows through the same notifier.
  QSocketNotifier notifier(static_cast<qintptr>(fd), event == FdEvent::Readable ? QSocketNotifier::Read : QSocketNotifier::Write);
  bool ready = false;
  QObject::connect(&notifier, &QSocketNotifier::activated, &loop, [&] {
    ready = true;
    notifier.setEnabled(false);
    loop.quit();
  });
  RunLoop(loop, timeoutMs, false);
  return ready || (!StopRaised() && FdReadyNow(fd, event));
}

void QtHost::PumpMessages() {
  FlushMessages();
  QCoreApplication::processEvents();
}

QWidget* QtHost::DialogParent() const {
  // Over the dialog that is running modally, if any, else over the main window.
  QWidget* modal = QApplication::activeModalWidget();
  return modal != nullptr ? modal : m_mainWindow.data();
}

MessageBoxRequest QtHost::Request(const std::string& text, MessageStyle style) const {
  MessageBoxRequest request;
  request.parent = DialogParent();
  request.title = Latin1(layouts::kAppCaption);
  request.text = EngineText(text);
  switch (style) {
    case MessageStyle::Plain:
      request.icon = QMessageBox::NoIcon;
      break;
    case MessageStyle::Error:
      request.icon = QMessageBox::Critical;
      break;
    case MessageStyle::Exclamation:
      request.icon = QMessageBox::Warning;
      break;
    case MessageStyle::Question:
      request.icon = QMessageBox::Question;
      request.buttons = QMessageBox::Ok | QMessageBox::Cancel;
      break;
  }
  return request;
}

MessageAnswer QtHost::ShowMessage(const std::string& text, MessageStyle style) {
  FlushMessages();
  if (style != MessageStyle::Question) {
    // The engine names the device, address or reason in a detail right after the message.
    m_pending = PendingMessage{text, style, {}};
    QTimer::singleShot(0, m_flushContext.get(), [this] { FlushMessages(); });
    return MessageAnswer::Ok;
  }
  return m_messageBox(Request(text, style)) == QMessageBox::Ok ? MessageAnswer::Ok : MessageAnswer::Cancel;
}

void QtHost::ShowDetail(const std::string& text) {
  // A detail whose message was already shown has no box left to join.
  if (!m_pending) return;
  if (!m_pending->detail.empty()) m_pending->detail += '\n';
  m_pending->detail += text;
}

void QtHost::FlushMessages() {
  if (!m_pending) return;
  const PendingMessage message = std::move(*m_pending);
  m_pending.reset();
  MessageBoxRequest request = Request(message.text, message.style);
  request.informativeText = EngineText(message.detail);
  m_messageBox(request);
}

Choice QtHost::Choose(const ChoiceQuestion& question) {
  FlushMessages();
  MessageBoxRequest request = Request(question.text, MessageStyle::Question);
  request.informativeText = EngineText(question.detail);
  request.buttons = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel;
  request.captions = {{QMessageBox::Yes, Latin1(question.first)}, {QMessageBox::No, Latin1(question.second)}};
  request.defaultButton = question.preferred == Choice::First    ? QMessageBox::Yes
                          : question.preferred == Choice::Second ? QMessageBox::No
                                                                 : QMessageBox::Cancel;
  switch (m_messageBox(request)) {
    case QMessageBox::Yes: return Choice::First;
    case QMessageBox::No: return Choice::Second;
    default: return Choice::Cancel;
  }
}

std::optional<std::string> QtHost::AskSavePath(const SaveDialogRequest& request) {
  FlushMessages();
  SaveDialogSpec spec;
  spec.parent = DialogParent();
  spec.title = QStringLiteral("Save As");
  spec.fileName = ShownFileName(request.suggestedName);
  spec.nameFilter = ConvertFileFilter(request.filter);
  spec.defaultSuffix = QString::fromLatin1(request.defaultExtension);
  spec.confirmOverwrite = request.overwritePrompt;
  if (m_recent != nullptr) spec.directory = m_recent->Folder();
  const std::optional<QString> chosen = m_saveDialog(spec);
  if (!chosen || chosen->isEmpty()) return std::nullopt;
  if (m_recent != nullptr) m_recent->Remember(*chosen);
  return EngineFileName(*chosen);
}

void QtHost::SetBusy(bool busy) {
  if (busy) {
    FlushMessages();
    QApplication::setOverrideCursor(Qt::WaitCursor);
    ++m_busyDepth;
    return;
  }
  if (m_busyDepth > 0) {
    QApplication::restoreOverrideCursor();
    --m_busyDepth;
  }
  // The box comes without the wait cursor over it.
  FlushMessages();
}

std::unique_ptr<ProgressView> QtHost::CreateProgressView() {
  FlushMessages();
  auto dialog = std::make_unique<CProgressDlg>(m_mainWindow.data());
  dialog->show();
  dialog->activateWindow();  // keys such as Escape go to the progress window, not the main window
  m_progress = dialog.get();
  return dialog;
}

}  // namespace corvelle
