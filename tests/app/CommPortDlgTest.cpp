// SPDX-License-Identifier: MIT
// The communication port dialog: which controls each port kind enables, its lists after many
// refreshes, what OK keeps, the TCP/IP port box, the TCP/IP test's colours and "Set COM port",
// with the probe, the command and the nested dialog replaced; and the serial setup dialog itself.
#include "AppTesting.h"
#include "app/LedButton.h"
#include "app/SerialDevices.h"
#include "app/SerialSetupDlg.h"
#ifndef _WIN32
#include "support/Loopback.h"
#endif

namespace corvelle {

class CommPortDlgTest : public ::testing::Test {
 protected:
  void Open(const PortSettings& settings) {
    CommPortServices services;
    services.deviceFolder = devices.Path();
    services.probe = [this](const std::string& address) {
      probed.push_back(address);
      colourDuringProbe = dialog->Indicator()->OnColor();
      return probeAnswer;
    };
    services.setComPort = [this](Host&, const PortSettings& current, const SerialPositions& chosen) {
      sent.emplace_back(current, chosen);
      // The port's waits let the user act meanwhile: the dialog neither ends nor starts anything.
      dialog->reject();
      dialog->accept();
      heldStill = dialog->isVisible() && !dialog->isEnabled();
      return std::optional(SerialPositions{1, 2, 0, 1});
    };
    services.runDialog = [this](QDialog& nested) {
      auto& setup = dynamic_cast<CSerialSetupDlg&>(nested);
      setup.show();
      parityInSetup = setup.parityIndex;
      setup.speedIndex = 4;
      return static_cast<int>(QDialog::Accepted);
    };
    dialog = std::make_unique<CCommPortDlg>(settings, host, std::move(services));
    dialog->show();
  }
  // Picks a port as the user does: the entry becomes current and the dialog is notified.
  void ChoosePort(const QString& name) { test::ChoosePort(dialog->PortList(), name); }

  // Which of baud, parity, data, stop, XON/XOFF, hardware flow, Set COM port, RS-485, address, the
  // TCP/IP address, port, test, indicator and echo box are enabled, as '1' and '0'.
  std::string Enabled() const {
    const QWidget* controls[] = {dialog->BaudList(),      dialog->ParityList(), dialog->DataBitsList(),
                                 dialog->StopBitsList(),  dialog->XonXoffBox(), dialog->HardwareFlowBox(),
                                 dialog->SetComButton(),  dialog->Rs485Box(),   dialog->AddressList(),
                                 dialog->IpAddressEdit(), dialog->IpPortEdit(), dialog->TestButton(),
                                 dialog->Indicator(),     dialog->EchoTestBox()};
    std::string bits;
    for (const QWidget* control : controls) bits += control->isEnabled() ? '1' : '0';
    return bits;
  }

  test::FakeHost host;
  test::TempDir devices;  // the machine's /dev as the dialog sees it
  std::unique_ptr<CCommPortDlg> dialog;
  std::vector<std::string> probed;
  bool probeAnswer = true;
  std::uint32_t colourDuringProbe = 0;
  std::vector<std::pair<PortSettings, SerialPositions>> sent;
  bool heldStill = false;
  int parityInSetup = 0;
};

TEST_F(CommPortDlgTest, EachPortKindEnablesItsOwnControlsAndLeavingComEndsRs485) {
  Open({.portName = "COM2:", .rs485On = 1, .ipPort = 70000, .echoTest = 1});
  EXPECT_FALSE(dialog->HardwareFlowBox()->isChecked());  // RS-485 on a COM port clears it
  const std::pair<QString, std::string> rows[] = {{"COM2:", "11111111100000"}, {"TCP/IP", "00000000011111"},
                                                  {"LPT1:", "00000000000000"}, {"FILE", "00000000000000"},
                                                  {"COM16:", "11111111000000"}};
  for (const auto& [port, expected] : rows) {
    ChoosePort(port);
    EXPECT_EQ(Enabled(), expected) << port.toStdString();
    if (port != "TCP/IP") continue;
    ASSERT_TRUE(dialog->EchoTestBox()->isChecked());
    dialog->EchoTestBox()->click();
  }
  // With a COM port the TCP/IP fields are disabled, and a hand-edited TCP port out of range,
  // which cannot be corrected there, does not stop OK.
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_TRUE(host.messages.empty());
  EXPECT_EQ(std::tuple(dialog->Settings().rs485On, dialog->Settings().echoTest), std::tuple(0, 0));
}

// A USB bridge's name (no entry of the list) is offered as an entry of its own, found again after
// many refreshes, which add no second 57600 (not in the template's list) nor addresses.
TEST_F(CommPortDlgTest, ManyRefreshesKeepTheListsAUsbPortNameAndTheEmptyFourthParity) {
  const PortSettings settings{.portName = "USB Varnesi", .speedIndex = 5, .parityIndex = 3, .rs485Address = 12};
  Open(settings);
  for (int i = 0; i < 20; ++i) ChoosePort(i % 2 == 0 ? QStringLiteral("TCP/IP") : QStringLiteral("COM1:"));
  ChoosePort(QStringLiteral("USB Varnesi"));
  // Besides the serial ports present: none in the test's /dev, the registry's on Windows.
  const auto present = static_cast<int>(ListSerialDevices(devices.Path()).size());
  EXPECT_EQ(std::tuple(dialog->PortList()->count(), dialog->BaudList()->count(), dialog->AddressList()->count()),
            std::tuple(22 + present, 6, 255)) << "the template's 20, USB, and the stored name";
  dialog->accept();
  EXPECT_EQ(dialog->Settings(), settings);
}

// The TCP/IP test only shows a colour: yellow during the probe, then green or red. The port box
// takes digits only, and OK refuses it empty or past 65535.
TEST_F(CommPortDlgTest, TcpIpTestShowsYellowThenGreenOrRedAndThePortBoxTakesDigitsUpTo65535) {
  Open({.portName = "TCP/IP"});
  EXPECT_TRUE(dialog->TestResult()->text().isEmpty());
  dialog->IpAddressEdit()->setText(QStringLiteral("127.0.0.1"));
  // The result in words as well as in colour.
  for (const auto& [answer, colour, words] : {std::tuple{true, CCommPortDlg::kGreen, "127.0.0.1 answers"},
                                              {false, CCommPortDlg::kRed, "127.0.0.1 does not answer"}}) {
    probeAnswer = answer;
    dialog->TestButton()->click();
    const CLedButton* led = dialog->Indicator();
    EXPECT_EQ(std::tuple(colourDuringProbe, led->OnColor(), led->GetLedState()), std::tuple(CCommPortDlg::kYellow, colour, 1));
    EXPECT_TRUE(led->toolTip().endsWith(QLatin1String(words)) && led->accessibleDescription() == led->toolTip())
        << led->toolTip().toStdString();
  }
  EXPECT_EQ(probed, std::vector<std::string>(2, "127.0.0.1"));
#ifndef _WIN32
  // (On Windows the same probe is run by corvelle-cli ping's test, against Winsock listeners.)
  // After the echo the test tries the typed port and says both in words; the indicator follows the
  // echo alone. Escape while the port is tried stops the test, not the dialog.
  const auto test = [this](int port, bool echo) {
    probeAnswer = echo;
    dialog->IpPortEdit()->setText(QString::number(port));
    dialog->TestButton()->click();
    const bool green = dialog->Indicator()->OnColor() == CCommPortDlg::kGreen;
    return dialog->TestResult()->text().replace(QString::number(port), QStringLiteral("P")).toStdString() +
           (green ? ", green" : ", red");
  };
  const test::LoopbackPort listening(4);
  EXPECT_EQ(test(listening.port, true), "Answers ping; port P accepts connections, green");
  // A network that drops ICMP: red, but the port still answers.
  EXPECT_EQ(test(listening.port, false), "No answer to ping; port P accepts connections, red");

  const test::SilentPort silent;
  host.At(host.now + 200, [this] { QTest::keyClick(dialog.get(), Qt::Key_Escape); });
  const std::int64_t start = host.now;
  EXPECT_EQ(test(silent.listener.port, true), "Answers ping; the port test was stopped, green");
  EXPECT_TRUE(host.now - start < 1000 && dialog->isVisible()) << "Escape stopped the test only";
  host.At(host.now + 5000, [this] { dialog->accept(); });  // OK while the port is tried does nothing
  EXPECT_EQ(test(silent.listener.port, true), "Answers ping; port P did not answer within 3 s, green");
  EXPECT_TRUE(dialog->isVisible());
#endif
  EXPECT_TRUE(host.messages.empty());
  QLineEdit* port = dialog->IpPortEdit();
  port->selectAll();
  QTest::keyClicks(port, QStringLiteral("9a1-0 0"));
  EXPECT_EQ(port->text(), QStringLiteral("9100"));
  for (const char* refused : {"", "65536"}) {
    port->setText(refused);
    dialog->accept();
  }
  EXPECT_TRUE(dialog->isVisible());
  const std::string refusal = "Please enter an integer between 0 and 65535.";
  EXPECT_EQ(host.Messages(), refusal + " | " + refusal);
  port->setText(QStringLiteral("65535"));
  dialog->accept();
  EXPECT_TRUE(dialog->result() == QDialog::Accepted && dialog->Settings().ipPort == 65535);
}

TEST_F(CommPortDlgTest, SetComPortSendsAtTheOldLineAndAdoptsWhatTheCommandSent) {
  const PortSettings settings{.portName = "COM2:", .parityIndex = 3};
  Open(settings);
  dialog->SetComButton()->click();
  // The serial setup dialog has no fourth parity entry.
  EXPECT_EQ(std::pair(parityInSetup, sent), std::pair(-1, std::vector{std::pair(settings, SerialPositions{4, -1, 1, 0})}));
  EXPECT_TRUE(heldStill && dialog->isEnabled() && dialog->BaudList()->currentText() == QStringLiteral("4800"));
  dialog->accept();
  EXPECT_EQ(PositionsOf(dialog->Settings()), (SerialPositions{1, 2, 0, 1}));
}

// The serial setup dialog the port dialog opens.
// Opened as the port dialog opens it: positions set, then shown (57600 is added to the list).
// Speed and parity reach the positions as they change; the rest waits for OK.
TEST(SerialSetupDlg, ShowsTheStoredPositionsAndOkReadsTheListsCancelNot) {
  for (const char* button : {"1", "2"}) {  // OK, Cancel
    SCOPED_TRACE(button);
    CSerialSetupDlg dialog;
    const auto positions = [&] {
      return std::tie(dialog.speedIndex, dialog.parityIndex, dialog.dataBitsIndex, dialog.stopBitsIndex);
    };
    positions() = std::tuple(5, 2, 0, 0);
    dialog.show();
    dialog.hide();
    dialog.show();  // showing again adds no second speed
    QComboBox* const lists[] = {dialog.BaudList(), dialog.ParityList(), dialog.DataBitsList(), dialog.StopBitsList()};
    QStringList shown;
    for (QComboBox* list : lists) shown << list->currentText() + "/" + QString::number(list->count());
    EXPECT_EQ(shown.join(' '), QStringLiteral("57600/6 Odd/3 7/2 1/2"));  // no empty fourth parity
    for (QComboBox* list : lists) QTest::keyClick(list, list->currentIndex() == 0 ? Qt::Key_Down : Qt::Key_Up);
    EXPECT_EQ(positions(), std::tuple(4, 1, 0, 0));
    QTest::mouseClick(dialog.findChild<QPushButton*>(button), Qt::LeftButton);
    const bool ok = button == std::string("1");
    EXPECT_EQ(dialog.result(), ok ? QDialog::Accepted : QDialog::Rejected);
    EXPECT_EQ(positions(), ok ? std::tuple(4, 1, 1, 1) : std::tuple(4, 1, 0, 0));
  }
}

#ifndef _WIN32
// Windows lists its serial ports from the registry instead (WindowsWindowTest).
// The serial devices present follow the fixed entries: names under serial/by-id first (with the
// device each leads to), then the USB and ACM devices no such name stands for, in natural order.
TEST_F(CommPortDlgTest, TheSerialDevicesPresentAreOfferedAndAChosenOneIsASerialPortStoredByItsPath) {
  namespace fs = std::filesystem;
  // Character devices anyone may name: links to them stand for serial devices.
  const fs::path dev(devices.Path());
  fs::create_directories(dev / "serial" / "by-id");
  for (const auto& [to, link] : {std::pair{"/dev/null", "ttyUSB0"}, {"/dev/zero", "ttyUSB10"}, {"/dev/full", "ttyUSB2"},
                                  {"/dev/random", "ttyACM0"}, {"../../ttyUSB0", "serial/by-id/usb-FTDI_Bridge-if00"}}) {
    fs::create_symlink(to, dev / link);
  }
  devices.Write("ttyUSB3", "a plain file is no device");
  Open({.portName = "TCP/IP", .hardwareFlow = 1});
  QStringList offered;
  for (int i = 20; i < dialog->PortList()->count(); ++i) offered << dialog->PortList()->itemText(i);
  EXPECT_EQ(offered.join(QLatin1Char('|')).replace(QString::fromStdString(dev.string()), QStringLiteral("DEV")),
            QStringLiteral("USB|usb-FTDI_Bridge-if00 (null)|DEV/ttyUSB2|DEV/ttyUSB10|DEV/ttyACM0"));
  ChoosePort(QStringLiteral("usb-FTDI_Bridge-if00 (null)"));
  EXPECT_EQ(Enabled(), "11111111000000");
  // "Rs485" clicked refreshes at once: the address list opens and hardware flow control goes.
  dialog->Rs485Box()->click();
  EXPECT_TRUE(Enabled() == "11111111100000" && !dialog->HardwareFlowBox()->isChecked());
  dialog->accept();
  EXPECT_EQ(dialog->Settings().portName, (dev / "serial" / "by-id" / "usb-FTDI_Bridge-if00").string());
  // Opened again on that name (or on a device gone meanwhile) the same path is selected.
  // A device path is a serial port whether or not the device list holds it, also when the user
  // comes back to it from another kind.
  for (const std::string& name : {dialog->Settings().portName, (dev / "ttyUSB9").string()}) {
    Open({.portName = name});
    EXPECT_EQ(dialog->PortList()->currentData().toString().toStdString(), name);
    const QString entry = dialog->PortList()->currentText();
    EXPECT_EQ(Enabled(), "11111111000000") << name;
    ChoosePort(QStringLiteral("TCP/IP"));
    ChoosePort(entry);
    EXPECT_EQ(Enabled(), "11111111000000") << name;
    dialog->accept();
    EXPECT_EQ(dialog->Settings().portName, name);
  }
}

#endif

}  // namespace corvelle
