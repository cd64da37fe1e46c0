// The COM and LPT kinds on real devices: a pseudo-terminal for the serial line, a named pipe
// for the parallel port.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/ioctl.h>
#include <termios.h>

#include <cerrno>

#include "ports/DeviceBackends.h"
#include "ports/DevicePort.h"
#include "ports/PtyPair.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

using test::FakeHost;
using test::PtyPair;

PortOpenArgs Com(const std::string& name = "COM3:") {
  PortOpenArgs a;
  a.portName = name;
  a.portNumber = PortNumberFromName(name);
  a.baudIndex = 3;
  a.dataBitsIndex = 1;
  a.xonXoff = 1;
  a.ctsFlow = 1;
  return a;
}

struct SerialFixture : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(pty.Ok()); }
  PortEnvironment Env() {
    PortEnvironment env;
    env.devices = {{"COM3", pty.SlavePath()}};
    return env;
  }
  termios SlaveSettings() {
    termios t{};
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_GE(fd, 0) << "a second open of the slave";
    if (fd >= 0) {
      ::tcgetattr(fd, &t);
      ::close(fd);
    }
    return t;
  }
  // Opens the slave as user nobody: 0 when that works, else the errno value.
  int OpenUnprivileged() {
    const std::string path = pty.SlavePath();
    return test::RunUnprivileged([path] {
      const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      if (fd < 0) return errno;
      ::close(fd);
      return 0;
    });
  }
  FakeHost host;
  PtyPair pty;
};

TEST_F(SerialFixture, OpenSetsTheLineFromTheTablesWithBothOutputFlowControls) {
  CDevicePort port(host, Env());
  PortOpenArgs a = Com();
  a.baudIndex = 5;
  a.stopBitsIndex = 1;
  ASSERT_TRUE(port.Open(a));
  const termios t = SlaveSettings();
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B38400));
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_TRUE(t.c_cflag & CSTOPB);
  EXPECT_TRUE(t.c_cflag & CRTSCTS);
  EXPECT_TRUE(t.c_iflag & IXON);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_EQ(t.c_cc[VSTART], 17);
  EXPECT_EQ(t.c_cc[VSTOP], 19);
  EXPECT_FALSE(t.c_lflag & (ICANON | ECHO | ISIG));
  EXPECT_FALSE(t.c_oflag & OPOST);
  port.Close();
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(SerialFixture, FlowBoxesClearedLeaveInputXonXoffOn) {
  CDevicePort port(host, Env());
  PortOpenArgs a = Com();
  a.xonXoff = 2;  // only bit 0 counts
  a.ctsFlow = 0;
  a.baudIndex = 1;
  ASSERT_TRUE(port.Open(a));
  const termios t = SlaveSettings();
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B2400));
  EXPECT_FALSE(t.c_cflag & CRTSCTS);
  EXPECT_FALSE(t.c_iflag & IXON);
  EXPECT_TRUE(t.c_iflag & IXOFF);
  EXPECT_FALSE(t.c_cflag & CSTOPB);
  port.Close();
}

TEST(LineDiscipline, SevenBitsAndParityAsAskedAndOutOfRangeIndexesAsTheDefaults) {
  PortOpenArgs a;
  a.dataBitsIndex = 0;
  a.parityIndex = 2;
  a.baudIndex = 0;
  termios t{};
  SetLineDiscipline(t, a);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS7));
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB | PARODD));
  EXPECT_TRUE(t.c_iflag & INPCK);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B1200));
  a.parityIndex = 1;
  SetLineDiscipline(t, a);
  EXPECT_EQ(t.c_cflag & (PARENB | PARODD), static_cast<tcflag_t>(PARENB));
  a = PortOpenArgs{};
  a.baudIndex = 42;
  a.parityIndex = 3;
  a.dataBitsIndex = 9;
  a.stopBitsIndex = -4;
  SetLineDiscipline(t, a);
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B9600));
  EXPECT_FALSE(t.c_cflag & PARENB);
  EXPECT_EQ(t.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
  EXPECT_FALSE(t.c_cflag & CSTOPB);
}

TEST_F(SerialFixture, BytesArriveExactlyAndXoffHoldsThemUntilXon) {
  CDevicePort port(host, Env());
  ASSERT_TRUE(port.Open(Com()));
  pty.StartReading();
  pty.Send(19);
  ::usleep(20000);
  std::string data;
  for (int i = 0; i < 20000; ++i) data += static_cast<char>(i * 7);
  std::size_t beforeXon = SIZE_MAX;
  host.OnTick(4, [&] {
    beforeXon = pty.Received().size();
    pty.Send(17);
  });
  EXPECT_TRUE(port.Write(data.data(), data.size()));
  EXPECT_EQ(beforeXon, 0u) << "nothing left the port while the printer said XOFF";
  EXPECT_GE(host.fdWaits, 3);
  EXPECT_EQ(pty.ReceiveAtLeast(data.size()), data);
  EXPECT_TRUE(port.DrainOutput());
  port.Close();
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(SerialFixture, StopEndsAWriteHeldByXoffAndCloseDoesNotHang) {
  CDevicePort port(host, Env());
  bool stop = false;
  port.SetCancelCheck([&] { return stop; });
  ASSERT_TRUE(port.Open(Com()));
  pty.Send(19);
  ::usleep(20000);
  host.OnTick(3, [&] { stop = true; });
  const std::string data(10000, 'k');
  EXPECT_FALSE(port.Write(data.data(), data.size()));
  port.Purge();
  EXPECT_TRUE(port.DrainOutput());
  port.Close();
  EXPECT_TRUE(host.messages.empty()) << "STOP is no error";
}

TEST_F(SerialFixture, ALineThatHangsUpIsReportedOnceAndStopsTheTransfer) {
  CDevicePort port(host, Env());
  ASSERT_TRUE(port.Open(Com()));
  pty.Hangup();
  EXPECT_FALSE(port.Write("abc", 3));
  EXPECT_FALSE(port.Write("abc", 3));
  port.Close();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_NE(host.messages[0].text.find(pty.SlavePath()), std::string::npos);
  EXPECT_EQ(host.messages[0].style, MessageStyle::Error);
}

TEST_F(SerialFixture, TheLineIsExclusiveWhileOpenAndFreeAfterClose) {
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
  CDevicePort port(host, Env());
  ASSERT_TRUE(port.Open(Com()));
  EXPECT_EQ(OpenUnprivileged(), EBUSY);
  port.Close();
  EXPECT_EQ(OpenUnprivileged(), 0);
}

TEST_F(SerialFixture, ADeviceWithoutPermissionIsBusy) {
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0600), 0);
  const PortEnvironment env = Env();
  const int result = test::RunUnprivileged([&] {
    FakeHost childHost;
    CDevicePort port(childHost, env);
    if (port.Open(Com())) return 1;
    if (childHost.messages.size() != 1) return 2;
    if (childHost.messages[0].text != "The device is busy.") return 3;
    return childHost.messages[0].style == MessageStyle::Error ? 0 : 4;
  });
  EXPECT_EQ(result, 0);
}

TEST_F(SerialFixture, AMissingDeviceIsNotOpen) {
  PortEnvironment env = Env();
  env.devices = {{"COM3", "/nonexistent/tty"}};
  CDevicePort port(host, env);
  EXPECT_FALSE(port.Open(Com()));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "The device is not open.");
  EXPECT_EQ(host.messages[0].style, MessageStyle::Error);
  EXPECT_FALSE(port.Open(Com("COM0:")));
  EXPECT_EQ(host.messages.back().text, "The device is not open.");
}

TEST_F(SerialFixture, AMalformedComNameIsRefusedAfterTheOpenAndTheDeviceReleased) {
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
  CDevicePort port(host, Env());
  EXPECT_FALSE(port.Open(Com("COM3:x")));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Device opening error (c1).");
  EXPECT_EQ(host.messages[0].style, MessageStyle::Error);
  EXPECT_EQ(OpenUnprivileged(), 0) << "the line is not left exclusive";
  EXPECT_TRUE(port.Open(Com("COM3")));
  port.Close();
}

TEST_F(SerialFixture, ADeviceThatIsNoTerminalHasNoSettings) {
  test::TempDir dir;
  PortEnvironment env;
  env.devices = {{"COM3", dir.Write("plain", "")}};
  CDevicePort port(host, env);
  EXPECT_FALSE(port.Open(Com()));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "Communication port is not available");
  EXPECT_EQ(host.messages[0].style, MessageStyle::Error);
}

struct ParallelFixture : ::testing::Test {
  void SetUp() override {
    path = dir.File("lp");
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    reader = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_GE(reader, 0);
    env.devices = {{"LPT2", path}};
  }
  void TearDown() override { ::close(reader); }
  std::string Drain() {
    std::string all;
    char buffer[65536];
    ssize_t n;
    while ((n = ::read(reader, buffer, sizeof buffer)) > 0) all.append(buffer, static_cast<std::size_t>(n));
    return all;
  }
  test::TempDir dir;
  std::string path;
  int reader = -1;
  PortEnvironment env;
  FakeHost host;
};

TEST_F(ParallelFixture, WritesThatTheDeviceTakesOnlyPartlyAreFinishedNotDropped) {
  CDevicePort port(host, env);
  PortOpenArgs a;
  a.portName = "LPT2:";
  a.portNumber = 2;
  ASSERT_TRUE(port.Open(a));
  std::string data(300000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  std::string received;
  for (int tick = 1; tick < 200; ++tick) host.OnTick(tick, [&] { received += Drain(); });
  EXPECT_TRUE(port.Write(data.data(), data.size()));
  port.Close();
  received += Drain();
  EXPECT_EQ(received.size(), data.size());
  EXPECT_TRUE(received == data);
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(ParallelFixture, StopEndsAWriteTheDeviceDoesNotTake) {
  CDevicePort port(host, env);
  bool stop = false;
  port.SetCancelCheck([&] { return stop; });
  PortOpenArgs a;
  a.portName = "LPT2:";
  a.portNumber = 2;
  ASSERT_TRUE(port.Open(a));
  host.OnTick(2, [&] { stop = true; });
  const std::string data(300000, 'p');
  EXPECT_FALSE(port.Write(data.data(), data.size()));
  port.Close();
  EXPECT_TRUE(host.messages.empty());
}

}  // namespace
}  // namespace corvelle
