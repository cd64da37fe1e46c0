// Port settings in the profile, open arguments from them, and the line tables' edges.
#include <gtest/gtest.h>

#include "base/Profile.h"
#include "ports/PortSettings.h"
#include "ports/PortTypes.h"

namespace corvelle {
namespace {

TEST(PortSettings, ProfileWithoutTheSectionGivesEveryDefault) {
  Profile profile;
  profile.Parse("[Other]\nPort=LPT1:\n");
  const PortSettings s = LoadPortSettings(profile);
  EXPECT_EQ(s.portName, "COM1:");
  EXPECT_EQ(s.speedIndex, 2);
  EXPECT_EQ(s.parityIndex, 0);
  EXPECT_EQ(s.dataBitsIndex, 1);
  EXPECT_EQ(s.stopBitsIndex, 0);
  EXPECT_EQ(s.xonXoff, 0);
  EXPECT_EQ(s.hardwareFlow, 1);
  EXPECT_EQ(s.rs485Address, 0);
  EXPECT_EQ(s.rs485On, 0);
  EXPECT_EQ(s.ipAddress, "192.168.1.100");
  EXPECT_EQ(s.ipPort, 4001);
  EXPECT_EQ(LoadCodepage(profile), 2);
}

TEST(PortSettings, StoreWritesTheElevenKeysInOrderAndLoadReadsThemBack) {
  PortSettings s;
  s.portName = "TCP/IP";
  s.speedIndex = 5;
  s.parityIndex = 2;
  s.dataBitsIndex = 0;
  s.stopBitsIndex = 1;
  s.xonXoff = 1;
  s.hardwareFlow = 0;
  s.rs485Address = 254;
  s.rs485On = 1;
  s.ipAddress = "printer.local";
  s.ipPort = 9100;
  Profile profile;
  StorePortSettings(profile, s);
  StoreCodepage(profile, 4);

  std::vector<std::string> keys;
  for (const auto& [key, value] : profile.Entries(kPortSection)) keys.push_back(key);
  EXPECT_EQ(keys, (std::vector<std::string>{"Port", "PortSpeed", "PortParity", "PortDatabits", "PortStopbits",
                                            "PortXonXoff", "PortFlussoHardware", "IndRs485", "Rs485On", "IPaddress",
                                            "IPport", "Codepage"}));
  Profile reread;
  reread.Parse(profile.Serialize());
  EXPECT_EQ(LoadPortSettings(reread), s);
  EXPECT_EQ(LoadCodepage(reread), 4);
}

TEST(PortSettings, OutOfRangeIndexesAreKeptButLineValuesFallBackToTheDefaults) {
  Profile profile;
  profile.Parse(
      "[Impostazione porta]\nPortSpeed=99\nPortParity=3\nPortDatabits=-1\nPortStopbits=7\nIndRs485=900\n"
      "PortXonXoff=abc\n");
  const PortSettings s = LoadPortSettings(profile);
  EXPECT_EQ(s.speedIndex, 99);
  EXPECT_EQ(s.parityIndex, 3);
  EXPECT_EQ(s.dataBitsIndex, -1);
  EXPECT_EQ(s.stopBitsIndex, 7);
  EXPECT_EQ(s.rs485Address, 900);
  EXPECT_EQ(s.xonXoff, 0);

  StorePortSettings(profile, s);
  EXPECT_EQ(profile.GetInt(kPortSection, "PortSpeed", 0), 99);

  const PortOpenArgs a = MakePortOpenArgs(s);
  EXPECT_EQ(a.baudIndex, 100);
  EXPECT_EQ(BaudRateAt(a.baudIndex), 9600);
  EXPECT_EQ(ParityAt(a.parityIndex), Parity::None);
  EXPECT_EQ(DataBitsAt(a.dataBitsIndex), 8);
  EXPECT_EQ(StopBitsAt(a.stopBitsIndex), 1);

  PortSettings largest;
  largest.speedIndex = 2147483647;
  EXPECT_EQ(BaudRateAt(MakePortOpenArgs(largest).baudIndex), 9600);
}

TEST(PortTables, EveryListPositionMapsToItsLineValue) {
  const int bauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(BaudRateAt(i), bauds[i]);
  EXPECT_EQ(BaudRateAt(-1), 9600);
  EXPECT_EQ(BaudRateAt(7), 9600);
  EXPECT_EQ(ParityAt(1), Parity::Even);
  EXPECT_EQ(ParityAt(2), Parity::Odd);
  EXPECT_EQ(DataBitsAt(0), 7);
  EXPECT_EQ(StopBitsAt(1), 2);
}

TEST(PortOpenArgs, SettingsGiveTheNumberFromTheNameAndTheBaudPositionPlusOne) {
  PortSettings s;
  s.portName = "COM12:";
  s.speedIndex = 0;
  s.xonXoff = 1;
  s.hardwareFlow = 0;
  const PortOpenArgs a = MakePortOpenArgs(s);
  EXPECT_EQ(a.portNumber, 12);
  EXPECT_EQ(a.baudIndex, 1);
  EXPECT_EQ(BaudRateAt(a.baudIndex), 2400);
  EXPECT_EQ(a.xonXoff, 1);
  EXPECT_EQ(a.ctsFlow, 0);
  EXPECT_EQ(a.eventMask, 0u);
  EXPECT_EQ(a.ipAddress, "192.168.1.100");
  EXPECT_EQ(a.ipPort, 4001);
  EXPECT_TRUE(a.outputName.empty());
}

TEST(PortNames, NumberIsTheDigitsAfterTheFirstThreeCharacters) {
  EXPECT_EQ(PortNumberFromName("COM1:"), 1);
  EXPECT_EQ(PortNumberFromName("COM12:"), 12);
  EXPECT_EQ(PortNumberFromName("COM16"), 16);
  EXPECT_EQ(PortNumberFromName("LPT2:"), 2);
  EXPECT_EQ(PortNumberFromName("COM:"), 0);
  EXPECT_EQ(PortNumberFromName("CO"), 0);
  EXPECT_EQ(PortNumberFromName("TCP/IP"), 0);
  EXPECT_EQ(PortNumberFromName("COM3x4"), 3);
  EXPECT_EQ(PortNumberFromName("COM99999999999999"), 2147483647);
}

TEST(PortNames, KindFollowsTheCaseSensitivePrefix) {
  EXPECT_EQ(KindFromName("COM1:"), PortKind::Com);
  EXPECT_EQ(KindFromName("LPT2:"), PortKind::Lpt);
  EXPECT_EQ(KindFromName("FILE"), PortKind::File);
  EXPECT_EQ(KindFromName("FILEOUT"), PortKind::File);
  EXPECT_EQ(KindFromName("TCP/IP"), PortKind::TcpIp);
  EXPECT_EQ(KindFromName("USB1"), PortKind::Usb);
  EXPECT_EQ(KindFromName("com1:"), PortKind::None);
  EXPECT_EQ(KindFromName("Usb"), PortKind::None);
  EXPECT_EQ(KindFromName("TCP"), PortKind::None);
  EXPECT_EQ(KindFromName(""), PortKind::None);
}

}  // namespace
}  // namespace corvelle
