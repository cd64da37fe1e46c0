// SPDX-License-Identifier: MIT
// The printer serial port setup dialog.
#include "app/SerialSetupDlg.h"

#include <QComboBox>
#include <QPushButton>

#include "app/DialogUnits.h"

namespace corvelle {
namespace {

// A position the list does not hold selects nothing.
void PutPosition(QComboBox* list, int position) {
  list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

}  // namespace

using namespace layouts;

CSerialSetupDlg::CSerialSetupDlg(QWidget* parent) : QDialog(parent) {
  const TemplateControls controls = BuildDialog(this, kSerialSetupDialog);
  m_baud = controls.As<QComboBox>(IDC_BAUD);
  m_dataBits = controls.As<QComboBox>(IDC_DATA_BITS);
  m_parity = controls.As<QComboBox>(IDC_PARITY);
  m_stopBits = controls.As<QComboBox>(IDC_STOP_BITS);
  // `activated` comes only from the user, like a selection-change notification.
  connect(m_parity, &QComboBox::activated, this, &CSerialSetupDlg::OnParityChanged);
  connect(m_baud, &QComboBox::activated, this, &CSerialSetupDlg::ReadFields);
  connect(controls.As<QPushButton>(IDOK), &QPushButton::clicked, this, &CSerialSetupDlg::accept);
  connect(controls.As<QPushButton>(IDCANCEL), &QPushButton::clicked, this, &CSerialSetupDlg::reject);
}

void CSerialSetupDlg::showEvent(QShowEvent* event) {
  if (!m_initialised) {
    m_initialised = true;
    OnInitDialog();
  }
  QDialog::showEvent(event);
}

void CSerialSetupDlg::OnInitDialog() {
  PutFields();
  // The speed list of the template stops at 38400; 57600 is added here, so a stored position 5
  // shows only after the second exchange.
  m_baud->addItem(QStringLiteral("57600"));
  PutFields();
  OnParityChanged();
}

void CSerialSetupDlg::PutFields() {
  PutPosition(m_baud, speedIndex);
  PutPosition(m_dataBits, dataBitsIndex);
  PutPosition(m_parity, parityIndex);
  PutPosition(m_stopBits, stopBitsIndex);
}

void CSerialSetupDlg::ReadFields() {
  speedIndex = m_baud->currentIndex();
  dataBitsIndex = m_dataBits->currentIndex();
  parityIndex = m_parity->currentIndex();
  stopBitsIndex = m_stopBits->currentIndex();
}

void CSerialSetupDlg::OnParityChanged() {
  ReadFields();
  m_dataBits->setEnabled(true);
  m_stopBits->setEnabled(true);
}

void CSerialSetupDlg::accept() {
  ReadFields();
  QDialog::accept();
}

}  // namespace corvelle
