// The communication port dialog: which controls each port kind enables, what its lists hold after
// many refreshes, what OK keeps (a USB port name included), the TCP/IP port box, the TCP/IP test's
// indicator colours and the "Set COM port" sequence, with the probe and the command replaced.
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
namespace {

struct CommandCall {
  PortSettings current;
  SerialPositions chosen;
};

class CommPortDlgTest : public ::testing::Test {
 protected:
  CCommPortDlg& Open(const PortSettings& settings) {
    CommPortServices services;
    services.probe = [this](const std::string& address) {
      probed.push_back(address);
      colourDuringProbe = dialog->Indicator()->OnColor();
      stateDuringProbe = dialog->Indicator()->GetLedState();
      return probeAnswer;
    };
    services.setComPort = [this](Host&, const PortSettings& current,
                                 const SerialPositions& chosen) -> std::optional<SerialPositions> {
      commands.push_back({current, chosen});
      // The port's waits let the user act meanwhile: the dialog neither ends nor starts anything.
      enabledDuringCommand = dialog->isEnabled();
      dialog->reject();
      dialog->accept();
      visibleDuringCommand = dialog->isVisible();
      if (!commandOpens) return std::nullopt;
      SerialPositions adopted = chosen;
      if (adopted.parityIndex > 2) adopted.parityIndex = 0;  // as the command normalises
      return adopted;
    };
    services.runDialog = [this](QDialog& nested) {
      auto& setup = dynamic_cast<CSerialSetupDlg&>(nested);
      setup.show();
      shownInSetup = {setup.speedIndex, setup.parityIndex, setup.dataBitsIndex, setup.stopBitsIndex};
      if (!setupChoice) return static_cast<int>(QDialog::Rejected);
      setup.BaudList()->setCurrentIndex(setupChoice->speedIndex);
      setup.ParityList()->setCurrentIndex(setupChoice->parityIndex);
      setup.DataBitsList()->setCurrentIndex(setupChoice->dataBitsIndex);
      setup.StopBitsList()->setCurrentIndex(setupChoice->stopBitsIndex);
      setup.accept();
      return setup.result();
    };
    dialog = std::make_unique<CCommPortDlg>(settings, host, std::move(services));
    dialog->show();
    return *dialog;
  }
  static PortSettings Settings(const std::string& port) {
    PortSettings settings;
    settings.portName = port;
    return settings;
  }
  // Picks a port as the user does: the entry becomes current and the dialog is notified.
  void ChoosePort(const QString& name) {
    QComboBox* list = dialog->PortList();
    const int index = list->findText(name);
    ASSERT_GE(index, 0) << name.toStdString();
    list->setCurrentIndex(index);
    emit list->activated(index);
  }
  // Which of the port-specific controls are enabled, in a fixed order.
  std::vector<bool> Enabled() const {
    const QWidget* controls[] = {dialog->BaudList(),     dialog->ParityList(),  dialog->DataBitsList(),
                                 dialog->StopBitsList(), dialog->XonXoffBox(),  dialog->HardwareFlowBox(),
                                 dialog->SetComButton(), dialog->Rs485Box(),    dialog->AddressList(),
                                 dialog->IpAddressEdit(), dialog->IpPortEdit(), dialog->TestButton(),
                                 dialog->Indicator()};
    std::vector<bool> enabled;
    for (const QWidget* control : controls) enabled.push_back(control->isEnabled());
    return enabled;
  }
  //                                   baud parity data stop xon hw set-com rs485 addr ip port test led
  const std::vector<bool> kComSet{true, true, true, true, true, true, true, true, false, false, false, false, false};
  const std::vector<bool> kTcpSet{false, false, false, false, false, false, false, false, false, true, true, true, true};
  const std::vector<bool> kNoneSet = std::vector<bool>(13, false);

  test::FakeHost host;
  std::unique_ptr<CCommPortDlg> dialog;
  std::vector<std::string> probed;
  bool probeAnswer = true;
  std::uint32_t colourDuringProbe = 0;
  int stateDuringProbe = -1;
  std::vector<CommandCall> commands;
  bool enabledDuringCommand = true;
  bool visibleDuringCommand = false;
  bool commandOpens = true;
  std::optional<SerialPositions> setupChoice;
  std::vector<int> shownInSetup;
};

TEST_F(CommPortDlgTest, ShowsTheStoredSettings) {
  PortSettings settings = Settings("COM3:");
  settings.speedIndex = 5;  // 57600, which the template's list lacks
  settings.parityIndex = 1;
  settings.dataBitsIndex = 0;
  settings.stopBitsIndex = 1;
  settings.xonXoff = 1;
  settings.hardwareFlow = 0;
  settings.rs485Address = 254;
  settings.ipAddress = "127.0.0.1";
  settings.ipPort = 9100;
  CCommPortDlg& d = Open(settings);
  EXPECT_EQ(d.windowTitle(), QStringLiteral("Communication port"));
  EXPECT_EQ(d.PortList()->count(), 20);
  EXPECT_EQ(d.PortList()->currentText(), QStringLiteral("COM3:"));
  EXPECT_EQ(d.BaudList()->currentText(), QStringLiteral("57600"));
  EXPECT_EQ(d.ParityList()->currentText(), QStringLiteral("Even"));
  EXPECT_EQ(d.ParityList()->count(), 4);
  EXPECT_EQ(d.DataBitsList()->currentText(), QStringLiteral("7"));
  EXPECT_EQ(d.StopBitsList()->currentText(), QStringLiteral("2"));
  EXPECT_TRUE(d.XonXoffBox()->isChecked());
  EXPECT_FALSE(d.HardwareFlowBox()->isChecked());
  EXPECT_EQ(d.AddressList()->currentText(), QStringLiteral("254"));
  EXPECT_EQ(d.IpAddressEdit()->text(), QStringLiteral("127.0.0.1"));
  EXPECT_EQ(d.IpPortEdit()->text(), QStringLiteral("9100"));
  // OK without changes gives back exactly what was shown.
  d.accept();
  EXPECT_EQ(d.result(), QDialog::Accepted);
  EXPECT_EQ(d.Settings(), settings);
}

TEST_F(CommPortDlgTest, EachPortKindEnablesItsOwnControls) {
  Open(Settings("COM1:"));
  EXPECT_EQ(Enabled(), kComSet);
  ChoosePort(QStringLiteral("TCP/IP"));
  EXPECT_EQ(Enabled(), kTcpSet);
  ChoosePort(QStringLiteral("LPT1:"));
  EXPECT_EQ(Enabled(), kNoneSet);
  ChoosePort(QStringLiteral("COM16:"));
  EXPECT_EQ(Enabled(), kComSet);
  ChoosePort(QStringLiteral("FILE"));
  EXPECT_EQ(Enabled(), kNoneSet);
  ChoosePort(QStringLiteral("LPT2:"));
  EXPECT_EQ(Enabled(), kNoneSet);
}

TEST_F(CommPortDlgTest, LeavingComClearsRs485) {
  PortSettings settings = Settings("COM2:");
  settings.rs485On = 1;
  Open(settings);
  EXPECT_TRUE(dialog->Rs485Box()->isChecked());
  ChoosePort(QStringLiteral("TCP/IP"));
  EXPECT_FALSE(dialog->Rs485Box()->isChecked());
  ChoosePort(QStringLiteral("COM2:"));
  EXPECT_FALSE(dialog->AddressList()->isEnabled());
  ChoosePort(QStringLiteral("FILE"));
  dialog->accept();
  EXPECT_EQ(dialog->Settings().rs485On, 0);
  EXPECT_EQ(dialog->Settings().portName, "FILE");
}

TEST_F(CommPortDlgTest, Rs485OnComEnablesTheAddressAndClearsHardwareFlowAtEveryRefresh) {
  Open(Settings("COM3:"));
  EXPECT_TRUE(dialog->HardwareFlowBox()->isChecked());
  dialog->Rs485Box()->click();
  EXPECT_TRUE(dialog->AddressList()->isEnabled());
  EXPECT_FALSE(dialog->HardwareFlowBox()->isChecked());
  // The user may set it again; the next refresh clears it again.
  dialog->HardwareFlowBox()->click();
  EXPECT_TRUE(dialog->HardwareFlowBox()->isChecked());
  ChoosePort(QStringLiteral("COM3:"));
  EXPECT_FALSE(dialog->HardwareFlowBox()->isChecked());
  dialog->Rs485Box()->click();  // off again
  EXPECT_FALSE(dialog->AddressList()->isEnabled());
  dialog->accept();
  EXPECT_EQ(dialog->Settings().rs485On, 0);
  EXPECT_EQ(dialog->Settings().hardwareFlow, 0);
}

TEST_F(CommPortDlgTest, ManyRefreshesKeepSixSpeedsAndTheAddressList) {
  PortSettings settings = Settings("COM1:");
  settings.speedIndex = 5;
  settings.rs485Address = 7;
  Open(settings);
  for (int i = 0; i < 20; ++i) {
    ChoosePort(i % 2 == 0 ? QStringLiteral("TCP/IP") : QStringLiteral("COM1:"));
    dialog->Rs485Box()->click();
  }
  QStringList speeds;
  for (int i = 0; i < dialog->BaudList()->count(); ++i) speeds << dialog->BaudList()->itemText(i);
  EXPECT_EQ(speeds, QStringList({"2400", "4800", "9600", "19200", "38400", "57600"}));
  ASSERT_EQ(dialog->AddressList()->count(), 255);
  EXPECT_EQ(dialog->AddressList()->itemText(0), QStringLiteral("000"));
  EXPECT_EQ(dialog->AddressList()->itemText(254), QStringLiteral("254"));
  dialog->accept();
  EXPECT_EQ(dialog->Settings().speedIndex, 5);
  EXPECT_EQ(dialog->Settings().rs485Address, 7);
}

TEST_F(CommPortDlgTest, AUsbPortNameSurvivesOk) {
  PortSettings settings = Settings("USB Varnesi");
  settings.speedIndex = 5;
  settings.rs485Address = 12;
  settings.parityIndex = 2;
  Open(settings);
  EXPECT_EQ(dialog->PortList()->count(), 21);
  EXPECT_EQ(dialog->PortList()->currentText(), QStringLiteral("USB Varnesi"));
  // A port of no listed kind leaves the kind-specific controls as they were, but RS-485 is off.
  EXPECT_FALSE(dialog->Rs485Box()->isEnabled());
  EXPECT_TRUE(dialog->SetComButton()->isEnabled());
  dialog->accept();
  EXPECT_EQ(dialog->Settings(), settings);
  // Choosing another port and coming back finds the entry again, once.
  ChoosePort(QStringLiteral("COM1:"));
  ChoosePort(QStringLiteral("USB Varnesi"));
  EXPECT_EQ(dialog->PortList()->count(), 21);
}

TEST_F(CommPortDlgTest, PortNamesMatchByTheirBeginningWhateverTheCase) {
  Open(Settings("com1"));
  EXPECT_EQ(dialog->PortList()->currentText(), QStringLiteral("COM1:"));
  EXPECT_EQ(dialog->PortList()->count(), 20);
  dialog->accept();
  EXPECT_EQ(dialog->Settings().portName, "COM1:");
}

TEST_F(CommPortDlgTest, TheEmptyFourthParityIsKeptAsPositionThree) {
  Open(Settings("COM1:"));
  dialog->ParityList()->setCurrentIndex(3);
  EXPECT_EQ(dialog->ParityList()->currentText(), QString());
  dialog->accept();
  EXPECT_EQ(dialog->Settings().parityIndex, 3);
}

TEST_F(CommPortDlgTest, TheTcpPortBoxTakesDigitsAndOkRefusesItEmpty) {
  PortSettings settings = Settings("TCP/IP");
  Open(settings);
  QLineEdit* port = dialog->IpPortEdit();
  port->selectAll();
  QTest::keyClicks(port, QStringLiteral("9a1-0 0"));
  EXPECT_EQ(port->text(), QStringLiteral("9100"));
  port->clear();
  QTest::keyClick(port, Qt::Key_Backspace);  // an edit of the emptied box: no message yet
  EXPECT_TRUE(host.messages.empty());
  dialog->accept();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Please enter an integer between 0 and 65535.");
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_NE(dialog->result(), QDialog::Accepted);
  QTest::keyClicks(port, QStringLiteral("70000"));
  EXPECT_EQ(port->text(), QStringLiteral("70000"));
  dialog->accept();
  EXPECT_EQ(host.messages.size(), 2u);  // beyond a port number
  port->setText(QStringLiteral("4002"));
  dialog->accept();
  EXPECT_EQ(dialog->result(), QDialog::Accepted);
  EXPECT_EQ(dialog->Settings().ipPort, 4002);
}

TEST_F(CommPortDlgTest, TcpIpTestShowsYellowDuringTheProbeThenGreenOrRed) {
  Open(Settings("TCP/IP"));
  CLedButton* led = dialog->Indicator();
  EXPECT_EQ(led->GetLedState(), 0);
  EXPECT_EQ(led->OnColor(), CCommPortDlg::kRed);
  EXPECT_EQ(led->OffColor(), CCommPortDlg::kGrey);
  EXPECT_EQ(led->LedSize(), 20);

  dialog->IpAddressEdit()->selectAll();
  QTest::keyClicks(dialog->IpAddressEdit(), QStringLiteral("127.0.0.1"));
  dialog->TestButton()->click();
  EXPECT_EQ(probed, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(colourDuringProbe, CCommPortDlg::kYellow);
  EXPECT_EQ(stateDuringProbe, 1);
  EXPECT_EQ(led->OnColor(), CCommPortDlg::kGreen);

  probeAnswer = false;
  dialog->TestButton()->click();
  EXPECT_EQ(colourDuringProbe, CCommPortDlg::kYellow);
  EXPECT_EQ(led->OnColor(), CCommPortDlg::kRed);
  EXPECT_TRUE(host.messages.empty());  // the test only shows a colour
}

TEST_F(CommPortDlgTest, OnlyTheFiveNamedColoursChangeTheIndicatorColour) {
  Open(Settings("TCP/IP"));
  dialog->SetIndicator(CCommPortDlg::kBlue);
  EXPECT_EQ(dialog->Indicator()->OnColor(), CCommPortDlg::kBlue);
  dialog->SetIndicator(0x123456);
  EXPECT_EQ(dialog->Indicator()->OnColor(), CCommPortDlg::kBlue);
  EXPECT_EQ(dialog->Indicator()->GetLedState(), 1);
}

TEST_F(CommPortDlgTest, SetComPortSendsAtTheOldLineAndAdoptsTheNewOne) {
  PortSettings settings = Settings("COM2:");
  settings.speedIndex = 2;
  Open(settings);
  setupChoice = SerialPositions{3, 1, 1, 0};
  dialog->SetComButton()->click();
  EXPECT_EQ(shownInSetup, (std::vector<int>{2, 0, 1, 0}));
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].current, settings);
  EXPECT_EQ(commands[0].chosen.speedIndex, 3);
  EXPECT_EQ(commands[0].chosen.parityIndex, 1);
  EXPECT_FALSE(enabledDuringCommand);
  EXPECT_TRUE(visibleDuringCommand);
  EXPECT_TRUE(dialog->isEnabled());
  EXPECT_TRUE(dialog->SetComButton()->isEnabled());
  EXPECT_FALSE(dialog->IpAddressEdit()->isEnabled());  // what was disabled before stays so
  EXPECT_EQ(dialog->BaudList()->currentText(), QStringLiteral("19200"));
  EXPECT_EQ(dialog->ParityList()->currentText(), QStringLiteral("Even"));
  dialog->accept();
  EXPECT_EQ(dialog->Settings().speedIndex, 3);
  EXPECT_EQ(dialog->Settings().parityIndex, 1);
}

TEST_F(CommPortDlgTest, SetComPortAdoptsWhatTheCommandSent) {
  PortSettings settings = Settings("COM2:");
  settings.parityIndex = 3;  // the empty fourth entry
  Open(settings);
  setupChoice = SerialPositions{4, 2, 1, 1};
  dialog->SetComButton()->click();
  ASSERT_EQ(commands.size(), 1u);
  EXPECT_EQ(commands[0].current.parityIndex, 3);
  EXPECT_EQ(shownInSetup[1], -1);  // the serial setup dialog has no fourth parity entry
  EXPECT_EQ(commands[0].chosen.parityIndex, 2);
  dialog->accept();
  EXPECT_EQ(dialog->Settings().parityIndex, 2);
  EXPECT_EQ(dialog->Settings().stopBitsIndex, 1);
}

TEST_F(CommPortDlgTest, SetComPortChangesNothingWhenCancelledOrThePortFails) {
  PortSettings settings = Settings("COM2:");
  Open(settings);
  dialog->SetComButton()->click();  // the serial setup dialog is cancelled
  EXPECT_TRUE(commands.empty());
  setupChoice = SerialPositions{0, 2, 0, 1};
  commandOpens = false;
  dialog->SetComButton()->click();
  EXPECT_EQ(commands.size(), 1u);
  dialog->accept();
  EXPECT_EQ(dialog->Settings(), settings);
}

}  // namespace
}  // namespace corvelle
