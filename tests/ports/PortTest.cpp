// The port object over a fake printer: the kind from the name, name-less ports, reopening, the
// serial queue wait; and the port settings in the profile.
#include <gtest/gtest.h>

#include "base/Profile.h"
#include "ports/DeviceBackends.h"
#include "ports/DevicePort.h"
#include "ports/FakePrinter.h"
#include "ports/OutputWait.h"
#include "ports/PortKit.h"
#include "ports/PortSettings.h"

namespace corvelle {
namespace {

using test::Args;
using Type = test::PrinterEvent::Type;

TEST(PortNames, KindNumberAndDeviceFollowTheCaseSensitivePrefix) {
  const std::tuple<const char*, PortKind, int> cases[] = {
      {"COM12:", PortKind::Com, 12},  {"LPT2:", PortKind::Lpt, 2}, {"FILEOUT", PortKind::File, 0},
      {"TCP/IP", PortKind::TcpIp, 0}, {"USB1", PortKind::Usb, 1},  {"com1:", PortKind::None, 1},
      {"Usb", PortKind::None, 0},     {"COM9999999999", PortKind::Com, INT_MAX}};
  for (const auto& [name, kind, number] : cases) {
    EXPECT_EQ(KindFromName(name), kind) << name;
    EXPECT_EQ(PortNumberFromName(name), number) << name;
  }
  Profile profile;
  profile.Parse("[Devices]\ncom3 = /dev/ttyUSB0\n");
  const PortEnvironment env = DefaultPortEnvironment(profile);
  EXPECT_EQ(DevicePath(env, "COM3") + DevicePath(env, "COM12") + DevicePath(env, "LPT2") + DevicePath(env, "COM0"),
            "/dev/ttyUSB0/dev/ttyS11/dev/lp1");
  for (const char* good : {"COM1:", "COM16", "COM01:"}) EXPECT_TRUE(IsValidComName(good)) << good;
  for (const char* bad : {"COM:", "COM0:", "COM1::", "COM1:x", "COM 1:", "com1:"}) EXPECT_FALSE(IsValidComName(bad)) << bad;
}

struct PortFixture : ::testing::Test {
  test::FakeHost host;
  test::FakePrinter printer;
  PortEnvironment env = [this] {
    PortEnvironment e;
    e.backendFactory = printer.Factory();
    return e;
  }();
  CDevicePort port{host, env};
};

TEST_F(PortFixture, ANameOfNoKindSendsNothingAndEveryOtherOpenChoosesItsKindAnew) {
  printer.queued = [] { return 7L; };
  for (const char* name : {"COM3:", "", "com1:", "LPT2:", "TCP/IP"}) {
    ASSERT_TRUE(port.Open(Args(name))) << name;
    EXPECT_TRUE(port.WriteText(name));
    EXPECT_EQ(port.QueuedOutput(), KindFromName(name) == PortKind::None ? 0 : 7) << "the kind's queue count";
  }
  port.Close();
  EXPECT_EQ(host.pumps, 5) << "each write lets the surroundings run once";
  EXPECT_EQ(printer.Received(), "COM3:LPT2:TCP/IP");
  EXPECT_EQ(printer.Count(Type::Close), 3) << "opening an open port closes it first";
  EXPECT_EQ(printer.events[3].kind, PortKind::Lpt);
  printer.refuseOpen = true;
  ASSERT_TRUE(port.Open(Args("")));
  EXPECT_EQ(port.Kind(), PortKind::TcpIp) << "a name of no kind keeps the last kind";
  EXPECT_FALSE(port.Open(Args("USB")));
  EXPECT_EQ(port.Kind(), PortKind::Usb) << "a failed open takes the new kind and leaves the port closed";
  EXPECT_FALSE(port.Write("a", 1));
  port.Close();
  EXPECT_EQ(printer.Count(Type::Close), 3);
  EXPECT_EQ(Shown(host), "error: The device is not open.\n");
}

TEST(QueueWait, SleepsInStepsSizedFromTheBytesLeftAndStopEndsAQueueThatNeverDrains) {
  test::FakeHost host;
  const PortEnvironment env;
  PortContext context{host, env, {}};
  long left = 960;  // 960 bytes at 9600 baud take one second
  EXPECT_TRUE(WaitForQueue(context, [&] { return std::exchange(left, std::max(0L, left - 96)); }, 0, 9600));
  EXPECT_EQ(host.waits.size(), 10u);
  EXPECT_EQ(host.waits.back().ms, 100);
  left = 40;
  EXPECT_TRUE(WaitForQueue(context, [&] { return left--; }, 10, 57600));
  EXPECT_EQ(left, 9) << "ends once at most the limit is queued";
  bool stop = false;
  context.cancelCheck = [&] { return stop; };
  host.At(host.now + 5000, [&] { stop = true; });
  EXPECT_FALSE(WaitForQueue(context, [] { return 4096L; }, 0, 2400));
}

TEST(PortSettings, DefaultsRoundTripAndOutOfRangeIndexesKeptButClamped) {
  Profile profile;
  profile.Parse("[Other]\nPort=LPT1:\n");
  EXPECT_EQ(LoadPortSettings(profile), (PortSettings{"COM1:", 2, 0, 1, 0, 0, 1, 0, 0, "192.168.1.100", 4001}));
  EXPECT_EQ(LoadCodepage(profile), 2);
  const PortSettings s{"TCP/IP", 5, 2, 0, 1, 1, 0, 254, 1, "printer.local", 9100};
  StorePortSettings(profile, s);
  StoreCodepage(profile, 4);
  std::string keys;
  for (const auto& [key, value] : profile.Entries(kPortSection)) keys += key + " ";
  EXPECT_EQ(keys, "Port PortSpeed PortParity PortDatabits PortStopbits PortXonXoff PortFlussoHardware IndRs485 Rs485On "
                  "IPaddress IPport Codepage ");
  Profile reread;
  reread.Parse(profile.Serialize());
  EXPECT_EQ(LoadPortSettings(reread), s);
  EXPECT_EQ(LoadCodepage(reread), 4);

  reread.Parse("[Impostazione porta]\nPortSpeed=99\nPortParity=3\nPortDatabits=-1\nPortStopbits=7\nPortXonXoff=x\n");
  const PortSettings odd = LoadPortSettings(reread);
  EXPECT_EQ(std::vector({odd.speedIndex, odd.parityIndex, odd.dataBitsIndex, odd.stopBitsIndex, odd.xonXoff}),
            std::vector({99, 3, -1, 7, 0}));
  const PortOpenArgs a = MakePortOpenArgs(odd);
  EXPECT_EQ(std::vector({a.baudIndex, BaudRateAt(a.baudIndex), DataBitsAt(a.dataBitsIndex), StopBitsAt(a.stopBitsIndex)}),
            std::vector({100, 9600, 8, 1})) << "the baud index is the dialog's position plus one";
  EXPECT_EQ(ParityAt(a.parityIndex), Parity::None);
  PortSettings largest;
  largest.speedIndex = INT_MAX;
  EXPECT_EQ(std::vector({BaudRateAt(MakePortOpenArgs(largest).baudIndex), BaudRateAt(1), BaudRateAt(6)}),
            std::vector({9600, 2400, 57600}));
}

}  // namespace
}  // namespace corvelle
