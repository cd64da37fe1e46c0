// SPDX-License-Identifier: MIT
// CCommPortDlg: "Communication port", where the user edits a copy of the port settings, sends the
// printer the command that changes its own serial line ("Set COM port"), and tests a TCP/IP
// printer ("TCP/IP test": one echo, which lights the indicator, then a connection to its port,
// both said in words beside it). Only the controls that matter for the chosen port are enabled.
// OK reads every control back; the close box and Escape end it without reading.
#pragma once

#include <QDialog>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "app/DialogRunner.h"
#include "download/SetComPort.h"
#include "ports/PortSettings.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

namespace corvelle {

class CLedButton;
class Host;

// Sends the printer the command that sets its serial line to `chosen`, over the port as `current`
// describes it (the line the printer uses now), and tells the user to wait for the printer's
// restart. Answers the positions the dialog adopts once the command went out (the choice, with
// any position outside its list made the list's default), or nothing when the port could not be
// opened (the port has told the user why).
using SetComPortCommand = std::function<std::optional<SerialPositions>(Host& host, const PortSettings& current,
                                                                       const SerialPositions& chosen)>;

// True when `address` answers one ICMP echo (blocks up to the probe's time-out).
using ReachabilityProbe = std::function<bool(const std::string& address)>;

// What the dialog's two actions and its nested dialog run through.
struct CommPortServices {
  ReachabilityProbe probe;       // empty: the program's echo probe
  SetComPortCommand setComPort;  // empty: "Set COM port" does nothing
  DialogRunner runDialog;        // empty: exec()
  std::string deviceFolder;      // where the serial devices are looked for; empty: /dev
};

class CCommPortDlg : public QDialog {
  Q_OBJECT

 public:
  // Indicator colours, 0x00BBGGRR.
  static constexpr std::uint32_t kRed = 0x0000FF;
  static constexpr std::uint32_t kGreen = 0x00FF00;
  static constexpr std::uint32_t kYellow = 0x00FFFF;
  static constexpr std::uint32_t kBlue = 0xFF0000;
  static constexpr std::uint32_t kGrey = 0xA0A0A0;

  // Shows `settings`; the dialog is ready to run when constructed.
  CCommPortDlg(const PortSettings& settings, Host& host, CommPortServices services, QWidget* parent = nullptr);

  // The edited fields: after OK, what the user chose.
  const PortSettings& Settings() const { return m_fields; }

  // The echo, then the port: the indicator turns green when the echo is answered, red when not,
  // and the line below says both ("Answers ping; port 4001 accepts connections"). While the
  // port is tried the dialog stays live: the test button, Escape and the close box stop it.
  void OnTcpIpTest();
  void OnSetComPort();
  // Lights the indicator; red, green, yellow, blue and grey also become its colour.
  void SetIndicator(std::uint32_t colour);
  void RefreshPortControls();

  // OK: reads every control; a TCP/IP port that is not a number from 0 to 65535 is refused
  // with a message and the dialog stays open.
  void accept() override;
  // The close box and Escape: ends without reading the controls.
  void reject() override;

  QComboBox* PortList() const { return m_port; }
  QComboBox* BaudList() const { return m_baud; }
  QComboBox* ParityList() const { return m_parity; }
  QComboBox* DataBitsList() const { return m_dataBits; }
  QComboBox* StopBitsList() const { return m_stopBits; }
  QComboBox* AddressList() const { return m_address; }
  QCheckBox* XonXoffBox() const { return m_xonXoff; }
  QCheckBox* HardwareFlowBox() const { return m_hardwareFlow; }
  QCheckBox* Rs485Box() const { return m_rs485; }
  QLineEdit* IpAddressEdit() const { return m_ipAddress; }
  QLineEdit* IpPortEdit() const { return m_ipPort; }
  QCheckBox* EchoTestBox() const { return m_echoTest; }
  QPushButton* SetComButton() const { return m_setCom; }
  QPushButton* TestButton() const { return m_test; }
  CLedButton* Indicator() const { return m_indicator; }
  QLabel* TestResult() const { return m_testResult; }

 private:
  void PutFields();
  // Reads the controls into the fields. An empty or out-of-range TCP/IP port leaves ipPort as it
  // was and answers false.
  bool ReadFields();
  void SelectPort(const std::string& name);
  // The port name the selected entry stands for: a device's path, else the entry's text.
  QString SelectedPortName() const;
  void AddSerialDevices();
  // The indicator's state in words, for its tooltip and for screen readers.
  void DescribeIndicator(const QString& state);
  void FillAddressList();
  void OnControlChanged();

  Host& m_host;
  CommPortServices m_services;
  PortSettings m_fields;
  bool m_commandRunning = false;
  bool m_testRunning = false;
  bool m_testStopped = false;

  QComboBox* m_port = nullptr;
  QComboBox* m_baud = nullptr;
  QComboBox* m_parity = nullptr;
  QComboBox* m_dataBits = nullptr;
  QComboBox* m_stopBits = nullptr;
  QComboBox* m_address = nullptr;
  QCheckBox* m_xonXoff = nullptr;
  QCheckBox* m_hardwareFlow = nullptr;
  QCheckBox* m_rs485 = nullptr;
  QLineEdit* m_ipAddress = nullptr;
  QLineEdit* m_ipPort = nullptr;
  QCheckBox* m_echoTest = nullptr;
  QPushButton* m_setCom = nullptr;
  QPushButton* m_test = nullptr;
  CLedButton* m_indicator = nullptr;
  QLabel* m_testResult = nullptr;
};

}  // namespace corvelle
