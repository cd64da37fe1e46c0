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
  m_stop = controls.As<QPushButton>(IDCANCEL);
  connect(m_stop, &QPushButton::clicked, this, &CProgressDlg::OnCancel);
  CenterWindow();
}

void CProgressDlg::SetMessage(const std::string& text) { m_message->setText(QString::fromLatin1(text)); }

void CProgressDlg::SetRange(int low, int high) {
  // An empty range would turn the bar into a busy indicator.
  m_progress->setRange(low, std::max(high, low + 1));
}

void CProgressDlg::SetPosition(int position) {
  // Positions outside the range show an empty or a full bar.
  m_progress->setValue(std::clamp(position, m_progress->minimum(), m_progress->maximum()));
}

void CProgressDlg::SetStatus(const std::string& text) { m_status->setText(QString::fromLatin1(text)); }

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
