// SPDX-License-Identifier: MIT
// The progress window.
#include "app/ProgressDlg.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPainter>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <algorithm>
#include <qdrawutil.h>

#include "app/DialogUnits.h"
#include "app/IconButton.h"
#include "app/Text.h"

namespace corvelle {

using namespace layouts;

CProgressDlg::CProgressDlg(QWidget* parent) : QDialog(parent, Qt::Tool | Qt::FramelessWindowHint) {
  const TemplateControls controls =
      BuildDialog(this, kProgressDialog, [this](const ControlTemplate&, QWidget* window) -> QWidget* {
        m_iconButton = new CIconButton(window);
        return m_iconButton;
      });
  m_iconButton->SizeToIcon();
  m_message = controls.As<QLabel>(IDC_MESSAGE);
  m_progress = controls.As<QProgressBar>(IDC_PROGRESS);
  m_status = controls.As<QLabel>(IDC_STATUS);
  m_timeLeft = controls.As<QLabel>(IDC_TIME_LEFT);
  m_stop = controls.As<QPushButton>(IDCANCEL);
  m_statusText = m_status->text();
  connect(m_stop, &QPushButton::clicked, this, &CProgressDlg::OnCancel);
  CenterWindow();
}

void CProgressDlg::SetMessage(const std::string& text) { m_message->setText(EngineText(text)); }

void CProgressDlg::SetRange(int low, int high) {
  // An empty range would turn the bar into a busy indicator.
  m_barLow = low;
  m_barHigh = std::max(high, low + 1);
  m_barValue = std::clamp(m_barValue, m_barLow, m_barHigh);
  if (!m_pausing) m_progress->setRange(m_barLow, m_barHigh);
}

void CProgressDlg::SetPosition(int position) {
  // Positions outside the range show an empty or a full bar.
  m_barValue = std::clamp(position, m_barLow, m_barHigh);
  if (!m_pausing) m_progress->setValue(m_barValue);
}

void CProgressDlg::SetStatus(const std::string& text) {
  m_statusText = EngineText(text);
  m_statusSet = true;
  m_status->setText(m_statusText);
}

void CProgressDlg::ShowPause(int secondsLeft, bool stoppable) {
  if (!m_pausing) {
    // The pause's own length: the bar runs from full to empty over it.
    m_pausing = true;
    m_progress->setRange(0, std::max(secondsLeft, 1));
  }
  m_progress->setValue(std::clamp(secondsLeft, 0, m_progress->maximum()));
  m_stop->setEnabled(stoppable);
  const QString seconds = QStringLiteral("%1 s").arg(secondsLeft);
  // The final wait keeps its own words ("End of process, wait please...") before the count.
  m_status->setText(m_statusSet ? m_statusText + QLatin1Char(' ') + seconds
                                : QStringLiteral("Waiting for the printer: ") + seconds);
}

void CProgressDlg::ShowTimeLeft(int seconds) {
  m_timeLeft->setText(seconds > 0 ? QStringLiteral("about %1 s left").arg(seconds) : QString());
}

void CProgressDlg::EndPause() {
  if (!m_pausing) return;
  m_pausing = false;
  m_progress->setRange(m_barLow, m_barHigh);
  m_progress->setValue(m_barValue);
  m_status->setText(m_statusText);
  m_stop->setEnabled(true);
}

void CProgressDlg::OnCancel() {
  m_cancelRequested = 1;
  QDialog::reject();
  emit StopPressed();
}

void CProgressDlg::CenterWindow() {
  QRect area;
  if (QWidget* owner = parentWidget(); owner != nullptr && owner->isVisible()) {
    area = owner->frameGeometry();
  } else if (const QScreen* screen = QGuiApplication::primaryScreen(); screen != nullptr) {
    area = screen->availableGeometry();
  }
  if (area.isValid()) move(area.center() - QPoint(width() / 2, height() / 2));
}

void CProgressDlg::paintEvent(QPaintEvent* event) {
  // Without a caption bar the window draws its own raised dialog frame.
  QPainter painter(this);
  qDrawWinPanel(&painter, rect(), palette(), false);
  QDialog::paintEvent(event);
}

}  // namespace corvelle
