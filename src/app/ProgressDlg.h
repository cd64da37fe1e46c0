// SPDX-License-Identifier: MIT
// CProgressDlg: the small window without a caption that stands over the main window while a
// font set is sent: message line, 0..100 bar, status line, the time the download still needs,
// the enlarged icon and STOP. STOP (or Escape) raises m_cancelRequested and hides the window; the
// caller polls the flag and destroys the window when it is done with it.
#pragma once

#include <QDialog>

#include "base/ProgressView.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvelle {

class CIconButton;

class CProgressDlg : public QDialog, public ProgressView {
  Q_OBJECT

 public:
  // Centred over `parent` (over the screen when there is none); not shown yet.
  explicit CProgressDlg(QWidget* parent = nullptr);

  void SetMessage(const std::string& text) override;
  void SetRange(int low, int high) override;
  void SetPosition(int position) override;
  void SetStatus(const std::string& text) override;
  // The bar counts the pause down from full to empty and the status line counts its seconds
  // (after the status's own words once the download has set one); STOP is disabled while it can
  // stop nothing.
  void ShowPause(int secondsLeft, bool stoppable) override;
  // The bar and the status line as they were before the pause; STOP enabled again.
  void EndPause() override;
  // "about 48 s left" below the status line.
  void ShowTimeLeft(int seconds) override;
  // STOP in the wait after the whole image ends that wait.
  bool StopEndsFinalWait() const override { return true; }
  bool CancelRequested() const override { return m_cancelRequested != 0; }
  void ClearCancel() override { m_cancelRequested = 0; }

  // STOP: raises the flag and hides the window without destroying it.
  void OnCancel();
  void reject() override { OnCancel(); }

  QProgressBar* ProgressBar() const { return m_progress; }
  QLabel* StatusLine() const { return m_status; }
  QLabel* TimeLeftLine() const { return m_timeLeft; }
  QPushButton* StopButton() const { return m_stop; }

  // 0 = go on, 1 = the user pressed STOP.
  int m_cancelRequested = 0;

 signals:
  void StopPressed();

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  void CenterWindow();

  CIconButton* m_iconButton = nullptr;
  QLabel* m_message = nullptr;
  QProgressBar* m_progress = nullptr;
  QLabel* m_status = nullptr;
  QLabel* m_timeLeft = nullptr;
  QPushButton* m_stop = nullptr;
  QString m_statusText;  // the status last set, shown again after a pause
  bool m_pausing = false;
  bool m_statusSet = false;  // the download has written the status line
  int m_barLow = 0, m_barHigh = 100, m_barValue = 0;  // the bar as the download left it
};

}  // namespace corvelle
