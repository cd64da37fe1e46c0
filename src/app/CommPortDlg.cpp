// SPDX-License-Identifier: MIT
// The communication port dialog.
#include "app/CommPortDlg.h"

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <initializer_list>

#include "app/ControlAccess.h"
#include "app/DialogUnits.h"
#include "app/LedButton.h"
#include "app/SerialDevices.h"
#include "app/Text.h"
#include "base/Host.h"
#include "ports/PortEnvironment.h"
#include "ports/PortProbe.h"
#include "app/SerialSetupDlg.h"

namespace corvelle {
namespace {

using namespace layouts;

constexpr int kAddressEntries = 255;  // "000" ... "254"
constexpr int kAddedSpeedPosition = 5;
constexpr int kPortTextLimit = 30;
constexpr int kMaxIpPort = 65535;
constexpr const char* kIpPortMessage = "Please enter an integer between 0 and 65535.";
constexpr int kDevicePathRole = Qt::UserRole;

// A position the list does not hold selects nothing.
void PutPosition(QComboBox* list, int position) {
  list->setCurrentIndex(position >= 0 && position < list->count() ? position : -1);
}

void SetEnabled(std::initializer_list<QWidget*> controls, bool enabled) {
  for (QWidget* control : controls) control->setEnabled(enabled);
}

}  // namespace

CCommPortDlg::CCommPortDlg(const PortSettings& settings, Host& host, CommPortServices services, QWidget* parent)
    : QDialog(parent), m_host(host), m_services(std::move(services)), m_fields(settings) {
  if (!m_services.probe) m_services.probe = EchoProbeReachable;
  if (!m_services.runDialog) m_services.runDialog = RunModal;

  const TemplateControls controls =
      BuildDialog(this, kCommPortDialog, [this](const ControlTemplate&, QWidget* window) -> QWidget* {
        m_indicator = new CLedButton(window);
        // It only shows a result: Tab passes it by.
        m_indicator->setFocusPolicy(Qt::NoFocus);
        return m_indicator;
      });
  Describe(controls, CommPortDescriptions());
  m_port = controls.As<QComboBox>(IDC_PORT);
  m_baud = controls.As<QComboBox>(IDC_BAUD);
  m_parity = controls.As<QComboBox>(IDC_PARITY);
  m_dataBits = controls.As<QComboBox>(IDC_DATA_BITS);
  m_stopBits = controls.As<QComboBox>(IDC_STOP_BITS);
  m_address = controls.As<QComboBox>(IDC_RS485_ADDRESS);
  m_xonXoff = controls.As<QCheckBox>(IDC_XON_XOFF);
  m_hardwareFlow = controls.As<QCheckBox>(IDC_HARDWARE_FLOW);
  m_rs485 = controls.As<QCheckBox>(IDC_RS485);
  m_ipAddress = controls.As<QLineEdit>(IDC_IP_ADDRESS);
  m_ipPort = controls.As<QLineEdit>(IDC_IP_PORT);
  m_echoTest = controls.As<QCheckBox>(IDC_ECHO_TEST);
  m_setCom = controls.As<QPushButton>(IDC_SET_COM);
  m_test = controls.As<QPushButton>(IDC_TCPIP_TEST);
  m_testResult = controls.As<QLabel>(IDC_TEST_RESULT);
  // Only digits can be typed; an empty box is refused when OK is pressed.
  m_ipPort->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]{0,5}")), m_ipPort));
  m_port->addItem(QStringLiteral("USB"));
  AddSerialDevices();

  PutFields();
  RefreshPortControls();
  m_indicator->SetLedState(0, true);
  m_indicator->SetLedColors(kRed, kGrey);
  m_indicator->SetLedSize(20);
  DescribeIndicator(QStringLiteral("not tested"));

  // `activated`, `clicked` and `textEdited` come from the user only, like the notifications
  // the dialog answers; putting the fields into the controls raises none of them.
  connect(m_port, &QComboBox::activated, this, [this] {
    OnControlChanged();
    RefreshPortControls();
  });
  connect(m_rs485, &QCheckBox::clicked, this, [this] {
    OnControlChanged();
    RefreshPortControls();
  });
  connect(m_ipAddress, &QLineEdit::textEdited, this, &CCommPortDlg::OnControlChanged);
  connect(m_ipPort, &QLineEdit::textEdited, this, &CCommPortDlg::OnControlChanged);
  connect(m_setCom, &QPushButton::clicked, this, &CCommPortDlg::OnSetComPort);
  connect(m_test, &QPushButton::clicked, this, &CCommPortDlg::OnTcpIpTest);
  connect(controls.As<QPushButton>(IDOK), &QPushButton::clicked, this, &CCommPortDlg::accept);
}

void CCommPortDlg::AddSerialDevices() {
  const std::vector<SerialDevice> devices =
      ListSerialDevices(m_services.deviceFolder.empty() ? std::string("/dev") : m_services.deviceFolder);
  for (const SerialDevice& device : devices) {
    m_port->addItem(QFile::decodeName(device.label.c_str()), QFile::decodeName(device.path.c_str()));
  }
  // Device names are longer than the list is wide: the open list shows them whole.
  m_port->view()->setMinimumWidth(m_port->view()->sizeHintForColumn(0) + m_port->view()->frameWidth() * 2);
}

QString CCommPortDlg::SelectedPortName() const {
  if (m_port->currentIndex() < 0) return {};
  const QString path = m_port->currentData(kDevicePathRole).toString();
  return path.isEmpty() ? m_port->currentText() : path;
}

void CCommPortDlg::SelectPort(const std::string& name) {
  // A device's path selects that device; any other name the first entry that begins with it,
  // whatever its case.
  const QString text = QFile::decodeName(name.c_str());
  int index = name.starts_with('/') ? m_port->findData(text, kDevicePathRole) : -1;
  if (index < 0 && !name.starts_with('/')) index = m_port->findText(Latin1(name), Qt::MatchStartsWith);
  if (index < 0) {
    // A name no entry holds (a USB bridge, which only a profile edit can name) is offered as an
    // entry of its own, so that OK keeps it.
    if (name.starts_with('/')) {
      m_port->addItem(text, text);  // a device not present now is still a serial port
    } else {
      m_port->addItem(Latin1(name));
    }
    index = m_port->count() - 1;
  }
  m_port->setCurrentIndex(index);
}

void CCommPortDlg::PutFields() {
  PutPosition(m_dataBits, m_fields.dataBitsIndex);
  m_ipAddress->setText(Latin1(m_fields.ipAddress));
  PutPosition(m_parity, m_fields.parityIndex);
  PutPosition(m_address, m_fields.rs485Address);
  m_rs485->setChecked(m_fields.rs485On != 0);
  PutPosition(m_stopBits, m_fields.stopBitsIndex);
  PutPosition(m_baud, m_fields.speedIndex);
  SelectPort(m_fields.portName);
  m_ipPort->setText(QString::number(m_fields.ipPort));
  m_echoTest->setChecked(m_fields.echoTest != 0);
  m_xonXoff->setChecked(m_fields.xonXoff != 0);
  m_hardwareFlow->setChecked(m_fields.hardwareFlow != 0);
}

bool CCommPortDlg::ReadFields() {
  m_fields.dataBitsIndex = m_dataBits->currentIndex();
  m_fields.ipAddress = m_ipAddress->text().toLatin1().toStdString();
  m_fields.parityIndex = m_parity->currentIndex();
  m_fields.rs485Address = m_address->currentIndex();
  m_fields.rs485On = m_rs485->isChecked() ? 1 : 0;
  m_fields.stopBitsIndex = m_stopBits->currentIndex();
  m_fields.speedIndex = m_baud->currentIndex();
  const QString portName = SelectedPortName();
  m_fields.portName = portName.startsWith(QLatin1Char('/')) ? QFile::encodeName(portName).toStdString()
                                                            : portName.toLatin1().toStdString();
  m_fields.xonXoff = m_xonXoff->isChecked() ? 1 : 0;
  m_fields.hardwareFlow = m_hardwareFlow->isChecked() ? 1 : 0;
  m_fields.echoTest = m_echoTest->isChecked() ? 1 : 0;
  bool isNumber = false;
  const int port = m_ipPort->text().toInt(&isNumber);
  if (!isNumber || port < 0 || port > kMaxIpPort) return false;
  m_fields.ipPort = port;
  return true;
}

void CCommPortDlg::OnControlChanged() { ReadFields(); }

void CCommPortDlg::FillAddressList() {
  if (m_address->count() == kAddressEntries) return;
  m_address->clear();
  for (int address = 0; address < kAddressEntries; ++address) {
    m_address->addItem(QStringLiteral("%1").arg(address, 3, 10, QLatin1Char('0')));
  }
}

void CCommPortDlg::RefreshPortControls() {
  m_setCom->setEnabled(true);
  if (m_baud->count() > kAddedSpeedPosition) m_baud->removeItem(kAddedSpeedPosition);
  SetEnabled({m_rs485, m_address}, false);
  PutFields();
  m_setCom->setEnabled(true);
  m_baud->addItem(QStringLiteral("57600"));
  FillAddressList();

  const QString port = m_port->currentIndex() < 0 ? QString() : m_port->currentText().left(kPortTextLimit);
  QWidget* const serial[] = {m_baud, m_parity, m_dataBits, m_stopBits, m_xonXoff, m_hardwareFlow};
  QWidget* const network[] = {m_ipAddress, m_ipPort, m_test, m_indicator, m_echoTest, m_testResult};
  const auto setAll = [](auto& controls, bool enabled) {
    for (QWidget* control : controls) control->setEnabled(enabled);
  };
  if (port.startsWith(QStringLiteral("LPT")) || port.startsWith(QStringLiteral("FILE"))) {
    m_fields.rs485On = 0;
    PutFields();
    setAll(serial, false);
    setAll(network, false);
    SetEnabled({m_setCom, m_rs485, m_address}, false);
  } else if (port == QStringLiteral("TCP/IP")) {
    m_fields.rs485On = 0;
    PutFields();
    setAll(serial, false);
    m_setCom->setEnabled(false);
    setAll(network, true);
    SetEnabled({m_rs485, m_address}, false);
  } else if (port.startsWith(QStringLiteral("COM")) || SelectedPortName().startsWith(QLatin1Char('/'))) {
    // A serial device by its path is a COM port under another name.
    setAll(serial, true);
    setAll(network, false);
    SetEnabled({m_setCom, m_rs485}, true);
    if (m_fields.rs485On != 0) {
      m_address->setEnabled(true);
      m_fields.hardwareFlow = 0;
    }
    PutFields();
  } else {
    // A port of no listed kind: the lists are complete only now, so the fields are shown once
    // more; otherwise OK would read a speed of 57600 or the RS-485 address as "nothing".
    PutFields();
  }
}

void CCommPortDlg::SetIndicator(std::uint32_t colour) {
  m_indicator->SetLedState(1, true);
  switch (colour) {
    case kRed:
    case kGreen:
    case kYellow:
    case kBlue:
    case kGrey:
      m_indicator->SetLedColors(colour, kGrey);
      break;
    default:
      break;
  }
}

void CCommPortDlg::DescribeIndicator(const QString& state) {
  const QString text = QStringLiteral("TCP/IP test: %1").arg(state);
  m_indicator->setToolTip(text);
  m_indicator->setAccessibleDescription(text);
}

void CCommPortDlg::OnTcpIpTest() {
  if (m_testRunning) {
    m_testStopped = true;  // pressed again while the port is tried: stop
    return;
  }
  ReadFields();
  SetIndicator(kYellow);
  DescribeIndicator(QStringLiteral("testing %1").arg(Latin1(m_fields.ipAddress)));
  m_testResult->setText(QStringLiteral("Testing %1...").arg(Latin1(m_fields.ipAddress)));
  // The echo blocks for up to five seconds without events: show yellow before it starts.
  repaint();
  const bool answered = m_services.probe(m_fields.ipAddress);
  SetIndicator(answered ? kGreen : kRed);
  DescribeIndicator(QStringLiteral("%1 %2").arg(Latin1(m_fields.ipAddress),
                                                answered ? QStringLiteral("answers") : QStringLiteral("does not answer")));
  const QString echo = answered ? QStringLiteral("Answers ping") : QStringLiteral("No answer to ping");
  m_testResult->setText(echo + QStringLiteral("; trying port %1...").arg(m_fields.ipPort));
  // The connection is tried whatever the echo said: a network that drops ICMP can still reach the
  // printer's port. Only the typed address and port are tried.
  m_testRunning = true;
  m_testStopped = false;
  const PortProbeResult port =
      ProbeTcpPort(m_host, m_fields.ipAddress, m_fields.ipPort, kPortProbeLimitMs, [this] { return m_testStopped; });
  m_testRunning = false;
  m_testResult->setText(echo + QStringLiteral("; ") + Latin1(PortProbeText(m_fields.ipPort, port)));
}

void CCommPortDlg::OnSetComPort() {
  if (!m_services.setComPort) return;
  ReadFields();
  CSerialSetupDlg setup(this);
  const SerialPositions current = PositionsOf(m_fields);
  setup.speedIndex = current.speedIndex;
  setup.parityIndex = current.parityIndex;
  setup.dataBitsIndex = current.dataBitsIndex;
  setup.stopBitsIndex = current.stopBitsIndex;
  if (m_services.runDialog(setup) != QDialog::Accepted) return;

  const SerialPositions chosen{setup.speedIndex, setup.parityIndex, setup.dataBitsIndex, setup.stopBitsIndex};
  // Sent at the line the printer uses now; the new line becomes the dialog's only once it went out.
  // The port's waits let the windows take input: meanwhile this dialog neither starts nor ends
  // anything.
  m_commandRunning = true;
  setEnabled(false);
  const std::optional<SerialPositions> adopted = m_services.setComPort(m_host, m_fields, chosen);
  setEnabled(true);
  m_commandRunning = false;
  if (!adopted) return;
  AdoptPositions(m_fields, *adopted);
  PutFields();
}

void CCommPortDlg::accept() {
  if (m_commandRunning || m_testRunning) return;
  // The TCP port box is checked only when it is in use; otherwise the stored port is kept.
  if (!ReadFields() && m_port->currentText() == QStringLiteral("TCP/IP")) {
    m_host.ShowMessage(kIpPortMessage, MessageStyle::Exclamation);
    m_ipPort->setFocus();
    m_ipPort->selectAll();
    return;
  }
  QDialog::accept();
}

void CCommPortDlg::reject() {
  if (m_commandRunning) return;
  // Escape or the close box while the port is tried stops the test; the dialog stays.
  if (m_testRunning) {
    m_testStopped = true;
    return;
  }
  QDialog::reject();
}

}  // namespace corvelle
