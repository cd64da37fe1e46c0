// The communication port dialog: which controls each port kind enables, its lists after many
// refreshes, what OK keeps, the TCP/IP port box, the TCP/IP test's colours and "Set COM port",
// with the probe, the command and the nested dialog replaced.
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <memory>

#include "app/LedButton.h"
#include "setup/CommPortDlg.h"
#include "setup/SerialSetupDlg.h"
#include "support/FakeHost.h"

namespace corvelle {

class CommPortDlgTest : public ::testing::Test {
 protected:
  void Open(const PortSettings& settings) {
    CommPortServices services;
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
      return std::optional(adopted);
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
  void ChoosePort(const QString& name) {
    const int index = dialog->PortList()->findText(name);
    ASSERT_GE(index, 0) << name.toStdString();
    dialog->PortList()->setCurrentIndex(index);
    emit dialog->PortList()->activated(index);
  }

  test::FakeHost host;
  std::unique_ptr<CCommPortDlg> dialog;
  std::vector<std::string> probed;
  bool probeAnswer = true;
  std::uint32_t colourDuringProbe = 0;
  std::vector<std::pair<PortSettings, SerialPositions>> sent;
  SerialPositions adopted{1, 2, 0, 1};
  bool heldStill = false;
  int parityInSetup = 0;
};

TEST_F(CommPortDlgTest, EachPortKindEnablesItsOwnControlsAndLeavingComEndsRs485) {
  Open({.portName = "COM2:", .rs485On = 1});
  EXPECT_FALSE(dialog->HardwareFlowBox()->isChecked());  // RS-485 on a COM port clears it
  const auto enabled = [this] {
    const QWidget* controls[] = {dialog->BaudList(),     dialog->ParityList(),  dialog->DataBitsList(),
                                 dialog->StopBitsList(), dialog->XonXoffBox(),  dialog->HardwareFlowBox(),
                                 dialog->SetComButton(), dialog->Rs485Box(),    dialog->AddressList(),
                                 dialog->IpAddressEdit(), dialog->IpPortEdit(), dialog->TestButton(),
                                 dialog->Indicator()};
    std::string bits;
    for (const QWidget* control : controls) bits += control->isEnabled() ? '1' : '0';
    return bits;
  };
  // Baud, parity, data, stop, XON/XOFF, hardware flow, Set COM port, RS-485, address; then the
  // TCP/IP address, port, test and indicator.
  const std::pair<QString, std::string> rows[] = {{"COM2:", "1111111110000"}, {"TCP/IP", "0000000001111"},
                                                  {"LPT1:", "0000000000000"}, {"FILE", "0000000000000"},
                                                  {"COM16:", "1111111100000"}};
  for (const auto& [port, expected] : rows) {
    ChoosePort(port);
    EXPECT_EQ(enabled(), expected) << port.toStdString();
  }
  dialog->accept();
  EXPECT_EQ(dialog->Settings().rs485On, 0);
}

TEST_F(CommPortDlgTest, ManyRefreshesKeepSixSpeedsAnd255Addresses) {
  Open({.portName = "COM1:", .speedIndex = 5, .rs485Address = 7});  // 57600 is not in the template's list
  for (int i = 0; i < 20; ++i) {
    ChoosePort(i % 2 == 0 ? QStringLiteral("TCP/IP") : QStringLiteral("COM1:"));
    dialog->Rs485Box()->click();
  }
  EXPECT_EQ(dialog->BaudList()->count(), 6);
  EXPECT_EQ(dialog->AddressList()->count(), 255);
  dialog->accept();
  EXPECT_EQ(dialog->Settings().speedIndex, 5);
  EXPECT_EQ(dialog->Settings().rs485Address, 7);
}

TEST_F(CommPortDlgTest, OkKeepsAUsbPortNameAndTheEmptyFourthParity) {
  const PortSettings settings{.portName = "USB Varnesi", .parityIndex = 3, .rs485Address = 12};
  Open(settings);
  EXPECT_EQ(dialog->PortList()->currentText(), QStringLiteral("USB Varnesi"));
  EXPECT_EQ(dialog->ParityList()->currentText(), QString());
  dialog->accept();
  EXPECT_EQ(dialog->Settings(), settings);
  ChoosePort(QStringLiteral("COM1:"));
  ChoosePort(QStringLiteral("USB Varnesi"));
  EXPECT_EQ(dialog->PortList()->count(), 21);  // the added entry is found again, not added twice
}

TEST_F(CommPortDlgTest, TheTcpPortBoxTakesDigitsAndOkRefusesItEmptyOrTooLarge) {
  Open({.portName = "TCP/IP"});
  QLineEdit* port = dialog->IpPortEdit();
  port->selectAll();
  QTest::keyClicks(port, QStringLiteral("9a1-0 0"));
  EXPECT_EQ(port->text(), QStringLiteral("9100"));
  for (const QString& refused : {QString(), QStringLiteral("70000")}) {
    port->setText(refused);
    dialog->accept();
    EXPECT_TRUE(dialog->isVisible());
    ASSERT_EQ(host.messages.size(), refused.isEmpty() ? 1u : 2u);
    EXPECT_EQ(host.messages.back().text, "Please enter an integer between 0 and 65535.");
  }
  port->setText(QStringLiteral("4002"));
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(dialog->Settings().ipPort, 4002);
}

TEST_F(CommPortDlgTest, TcpIpTestShowsYellowDuringTheProbeThenGreenOrRed) {
  Open({.portName = "TCP/IP"});
  dialog->IpAddressEdit()->setText(QStringLiteral("127.0.0.1"));
  for (const bool answer : {true, false}) {
    probeAnswer = answer;
    dialog->TestButton()->click();
    EXPECT_EQ(colourDuringProbe, CCommPortDlg::kYellow);
    EXPECT_EQ(dialog->Indicator()->OnColor(), answer ? CCommPortDlg::kGreen : CCommPortDlg::kRed);
    EXPECT_EQ(dialog->Indicator()->GetLedState(), 1);
  }
  EXPECT_EQ(probed, std::vector<std::string>(2, "127.0.0.1"));
  EXPECT_TRUE(host.messages.empty());  // the test only shows a colour
}

TEST_F(CommPortDlgTest, SetComPortSendsAtTheOldLineAndAdoptsWhatTheCommandSent) {
  const PortSettings settings{.portName = "COM2:", .parityIndex = 3};
  Open(settings);
  dialog->SetComButton()->click();
  EXPECT_EQ(parityInSetup, -1);  // the serial setup dialog has no fourth parity entry
  ASSERT_EQ(sent.size(), 1u);
  EXPECT_EQ(sent[0].first, settings);
  EXPECT_EQ(sent[0].second, (SerialPositions{4, -1, 1, 0}));
  EXPECT_TRUE(heldStill);
  EXPECT_TRUE(dialog->isEnabled());
  EXPECT_EQ(dialog->BaudList()->currentText(), QStringLiteral("4800"));
  dialog->accept();
  EXPECT_EQ(dialog->Settings().parityIndex, 2);
  EXPECT_EQ(dialog->Settings().stopBitsIndex, 1);
}

}  // namespace corvelle
