// The port object: kind dispatch, reopening, name-less ports, device names, and the queue wait.
#include <gtest/gtest.h>

#include "base/Profile.h"
#include "ports/DeviceBackends.h"
#include "ports/DevicePort.h"
#include "ports/OutputWait.h"
#include "ports/FakePrinter.h"
#include "support/FakeHost.h"

namespace corvelle {
namespace {

using test::FakeHost;
using test::FakePrinter;
using Type = test::PrinterEvent::Type;

PortOpenArgs Named(const std::string& name) {
  PortOpenArgs a;
  a.portName = name;
  a.portNumber = PortNumberFromName(name);
  return a;
}

struct PortFixture : ::testing::Test {
  PortEnvironment Env() {
    PortEnvironment env;
    env.backendFactory = printer.Factory();
    return env;
  }
  FakeHost host;
  FakePrinter printer;
};

TEST_F(PortFixture, EachOpenChoosesTheKindAnewFromTheName) {
  CDevicePort port(host, Env());
  EXPECT_EQ(port.Kind(), PortKind::None);
  const std::pair<const char*, PortKind> names[] = {{"COM3:", PortKind::Com},   {"LPT2:", PortKind::Lpt},
                                                    {"FILE", PortKind::File},   {"TCP/IP", PortKind::TcpIp},
                                                    {"USB", PortKind::Usb}};
  for (const auto& [name, kind] : names) {
    ASSERT_TRUE(port.Open(Named(name))) << name;
    EXPECT_EQ(port.Kind(), kind);
    EXPECT_EQ(port.PortName(), name);
    EXPECT_TRUE(port.WriteText("x"));
    port.Close();
    EXPECT_EQ(port.Kind(), kind) << "Close keeps the kind";
  }
  ASSERT_EQ(printer.events.size(), 15u);
  EXPECT_EQ(printer.events[3].kind, PortKind::Lpt);
  EXPECT_EQ(printer.events[4].type, Type::Write);
  EXPECT_EQ(printer.Received(), "xxxxx");
}

TEST_F(PortFixture, ANameOfNoKindOpensAndSendsNothing) {
  CDevicePort port(host, Env());
  for (const char* name : {"", "com1:", "Lpt1:", "NUL"}) {
    EXPECT_TRUE(port.Open(Named(name))) << name;
    EXPECT_EQ(port.Kind(), PortKind::None);
    EXPECT_TRUE(port.Write("abc", 3));
    EXPECT_TRUE(port.DrainOutput());
    port.Purge();
    port.Close();
  }
  EXPECT_TRUE(printer.events.empty());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(PortFixture, ANameOfNoKindAfterAnOpenKeepsTheOldKindButSendsNothing) {
  CDevicePort port(host, Env());
  ASSERT_TRUE(port.Open(Named("COM1:")));
  port.Close();
  ASSERT_TRUE(port.Open(Named("")));
  EXPECT_EQ(port.Kind(), PortKind::Com);
  EXPECT_TRUE(port.Write("abc", 3));
  port.Close();
  EXPECT_EQ(printer.Count(Type::Write), 0);
}

TEST_F(PortFixture, AFailedOpenKeepsTheKindAndLeavesThePortClosed) {
  printer.refuseOpen = true;
  CDevicePort port(host, Env());
  EXPECT_FALSE(port.Open(Named("LPT1:")));
  EXPECT_EQ(port.Kind(), PortKind::Lpt);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_FALSE(port.Write("a", 1));
  port.Close();
  EXPECT_EQ(printer.Count(Type::Close), 0);
  ASSERT_EQ(host.messages.size(), 1u);
}

TEST_F(PortFixture, WritesPumpOnceAndPurgeDrainAndQueueReachTheKind) {
  CDevicePort port(host, Env());
  long queued = 7;
  printer.queued = [&] { return queued; };
  ASSERT_TRUE(port.Open(Named("COM1:")));
  const int pumps = host.pumps;
  EXPECT_TRUE(port.Write("\x00\x01", 2));
  EXPECT_EQ(host.pumps, pumps + 1);
  EXPECT_TRUE(port.WriteText(""));
  EXPECT_EQ(host.pumps, pumps + 2);
  EXPECT_EQ(port.QueuedOutput(), 7);
  port.Purge();
  EXPECT_TRUE(port.DrainOutput());
  port.Close();
  EXPECT_EQ(port.QueuedOutput(), 0);
  EXPECT_EQ(printer.Received(), std::string("\x00\x01", 2));
  EXPECT_EQ(printer.Count(Type::Purge), 1);
  EXPECT_EQ(printer.Count(Type::Drain), 1);
}

TEST_F(PortFixture, OpeningAnOpenPortClosesTheFirstConnection) {
  CDevicePort port(host, Env());
  ASSERT_TRUE(port.Open(Named("COM1:")));
  ASSERT_TRUE(port.Open(Named("COM2:")));
  port.Close();
  EXPECT_EQ(printer.Count(Type::Close), 2);
  EXPECT_EQ(printer.opens.at(1).portNumber, 2);
}

TEST(DevicePath, DefaultsAndTheDevicesMapping) {
  PortEnvironment env;
  EXPECT_EQ(DevicePath(env, "COM1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePath(env, "COM12"), "/dev/ttyS11");
  EXPECT_EQ(DevicePath(env, "LPT2"), "/dev/lp1");
  EXPECT_EQ(DevicePath(env, "COM0"), "");
  EXPECT_EQ(DevicePath(env, "FIL0"), "");
  env.devices = {{"com3", "/dev/ttyUSB0"}};
  EXPECT_EQ(DevicePath(env, "COM3"), "/dev/ttyUSB0");
  EXPECT_EQ(DevicePath(env, "COM4"), "/dev/ttyS3");
}

TEST(DevicePath, TheProgramsEnvironmentTakesTheMappingFromTheProfile) {
  Profile profile;
  profile.Parse("[Devices]\nCOM3 = /dev/ttyUSB0\nLPT1=/tmp/lp\n");
  const PortEnvironment env = DefaultPortEnvironment(profile);
  EXPECT_EQ(DevicePath(env, "COM3"), "/dev/ttyUSB0");
  EXPECT_EQ(DevicePath(env, "LPT1"), "/tmp/lp");
  EXPECT_EQ(DevicePath(env, "COM1"), "/dev/ttyS0");
  EXPECT_TRUE(env.reachable && env.usbLibrary && env.backendFactory);
}

TEST(ComName, NumberOfAtLeastOneThenNothingOrAColon) {
  for (const char* good : {"COM1:", "COM1", "COM16:", "COM01:"}) EXPECT_TRUE(IsValidComName(good)) << good;
  for (const char* bad : {"COM:", "COM", "COM0:", "COM1::", "COM1:x", "COMx1:", "COM 1:", "com1:"}) {
    EXPECT_FALSE(IsValidComName(bad)) << bad;
  }
}

struct QueueFixture : ::testing::Test {
  FakeHost host;
  PortEnvironment env;
  PortContext context{host, env, {}};
};

TEST_F(QueueFixture, DrainSleepsInStepsSizedFromTheBytesLeftUntilTheQueueIsEmpty) {
  long left = 960;  // 960 bytes at 9600 baud take one second
  auto queued = [&] {
    const long now = left;
    left = std::max(0L, left - 96);
    return now;
  };
  EXPECT_TRUE(WaitForQueue(context, queued, 0, 9600));
  EXPECT_EQ(left, 0);
  ASSERT_FALSE(host.waits.empty());
  EXPECT_EQ(host.waits.front().ms, 100);
  EXPECT_EQ(host.waits.back().ms, 100);
  EXPECT_EQ(QueueWaitStepMs(96, 9600), 100);
  EXPECT_EQ(QueueWaitStepMs(10, 9600), 11);
  EXPECT_EQ(QueueWaitStepMs(1, 57600), 2);
  EXPECT_EQ(host.pumps, 0);
}

TEST_F(QueueFixture, WaitEndsOnceAtMostTheLimitIsQueued) {
  long left = 40;
  EXPECT_TRUE(WaitForQueue(context, [&] { return left--; }, 10, 57600));
  EXPECT_EQ(left, 9);
}

TEST_F(QueueFixture, StopEndsAQueueThatNeverDrains) {
  bool stop = false;
  context.cancelCheck = [&] { return stop; };
  host.At(5000, [&] { stop = true; });
  EXPECT_FALSE(WaitForQueue(context, [] { return 4096L; }, 0, 2400));
  EXPECT_GE(host.now, 5000);
  EXPECT_LT(host.now, 5200);
}

}  // namespace
}  // namespace corvelle
