// SPDX-License-Identifier: MIT
// CSerialSetupDlg: "Printer serial port setup", where the user picks the serial parameters the
// printer itself is to use: speed, parity, data bits and stop bits, each a list position.
// The caller sets the four positions before running it and reads them after OK.
#pragma once

#include <QDialog>

class QComboBox;

namespace corvelle {

class CSerialSetupDlg : public QDialog {
  Q_OBJECT

 public:
  explicit CSerialSetupDlg(QWidget* parent = nullptr);

  // List positions; -1 is "nothing selected".
  int speedIndex = -1;     // 0 "2400" ... 4 "38400", 5 "57600"
  int dataBitsIndex = -1;  // 0 for 7 data bits, 1 for 8
  int parityIndex = -1;    // 0 none, 1 even, 2 odd
  int stopBitsIndex = -1;  // 0 for one stop bit, 1 for two

  QComboBox* BaudList() const { return m_baud; }
  QComboBox* DataBitsList() const { return m_dataBits; }
  QComboBox* ParityList() const { return m_parity; }
  QComboBox* StopBitsList() const { return m_stopBits; }

  // OK: reads the lists into the positions, then ends. Cancel, Escape and the close box end
  // without reading them again.
  void accept() override;

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  // Runs once, when the dialog is first shown, so that it sees the positions the caller set.
  void OnInitDialog();
  void PutFields();
  void ReadFields();
  void OnParityChanged();

  QComboBox* m_baud = nullptr;
  QComboBox* m_dataBits = nullptr;
  QComboBox* m_parity = nullptr;
  QComboBox* m_stopBits = nullptr;
  bool m_initialised = false;
};

}  // namespace corvelle
