// The COM and LPT kinds on real devices: a pseudo-terminal for the serial line, a named pipe
// for the parallel port.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <termios.h>

#include <cerrno>

#include "ports/DeviceBackends.h"
#include "ports/DevicePort.h"
#include "ports/PortKit.h"
#include "ports/PtyPair.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

using test::Args;

struct SerialFixture : ::testing::Test {
  void SetUp() override {
    ASSERT_TRUE(pty.Ok());
    env.devices = {{"COM3", pty.SlavePath()}};
  }
  termios Line() {
    termios t{};
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    return t;
  }
  // Opens the slave as user nobody: 0 when that works, else the errno value.
  int OpenAsNobody() {
    return test::RunUnprivileged([path = pty.SlavePath()] {
      const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
      return fd < 0 ? errno : ::close(fd);
    });
  }
  test::FakeHost host;
  test::PtyPair pty;
  PortEnvironment env;
};

TEST_F(SerialFixture, OpenSetsTheLineWithTheFlowControlsAsked) {
  CDevicePort port(host, env);
  PortOpenArgs a = Args("COM3:");
  a.baudIndex = 5;
  a.stopBitsIndex = a.xonXoff = a.ctsFlow = 1;
  ASSERT_TRUE(port.Open(a));
  termios t = Line();
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B38400));
  EXPECT_EQ(t.c_cflag & (CSIZE | CSTOPB | CRTSCTS), static_cast<tcflag_t>(CS8 | CSTOPB | CRTSCTS));
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXON | IXOFF));
  EXPECT_EQ((std::vector{t.c_cc[VSTART], t.c_cc[VSTOP]}), (std::vector<cc_t>{17, 19}));
  a.baudIndex = 1;
  a.stopBitsIndex = a.ctsFlow = 0;
  a.xonXoff = 2;  // only bit 0 of the flow boxes counts
  ASSERT_TRUE(port.Open(a));
  t = Line();
  EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B2400));
  EXPECT_EQ(t.c_cflag & (CSTOPB | CRTSCTS), 0u);
  EXPECT_EQ(t.c_iflag & (IXON | IXOFF), static_cast<tcflag_t>(IXOFF)) << "input XON/XOFF stays on";
  a.dataBitsIndex = 0;
  a.parityIndex = 2;
  SetLineDiscipline(t, a);  // a pseudo-terminal keeps no parity or 7-bit setting
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD), static_cast<tcflag_t>(CS7 | PARENB | PARODD));
  EXPECT_EQ(Shown(host), "");
}

// More than the line holds at once: the writes that it takes only partly are finished.
TEST_F(SerialFixture, XoffHoldsEveryByteUntilXonAndStopEndsAHeldWrite) {
  CDevicePort port(host, env);
  PortOpenArgs a = Args("COM3:");
  a.xonXoff = 1;
  ASSERT_TRUE(port.Open(a));
  pty.StartReading();
  pty.Send(19);
  ::usleep(20000);
  std::string data(300000, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  std::size_t beforeXon = SIZE_MAX;
  host.OnTick(4, [&] {
    beforeXon = pty.Received().size();
    pty.Send(17);
  });
  EXPECT_TRUE(port.Write(data.data(), data.size()));
  EXPECT_EQ(beforeXon, 0u) << "nothing left the port while the printer said XOFF";
  EXPECT_TRUE(pty.ReceiveAtLeast(data.size()) == data);
  bool stop = false;
  port.SetCancelCheck([&] { return stop; });
  pty.Send(19);
  ::usleep(20000);
  host.OnTick(host.ticks + 3, [&] { stop = true; });
  EXPECT_FALSE(port.Write(data.data(), data.size()));
  port.Close();
  EXPECT_EQ(Shown(host), "") << "STOP is no error";
}

TEST_F(SerialFixture, OpenFailuresNameTheirCauseReleaseTheLineAndNobodyFindsItBusy) {
  test::TempDir dir;
  const std::pair<std::string, const char*> cases[] = {
      {"/nonexistent/tty", "COM3:"}, {pty.SlavePath(), "COM0:"}, {dir.Write("plain", ""), "COM3:"}, {pty.SlavePath(), "COM3:x"}};
  for (const auto& [device, name] : cases) {
    env.devices = {{"COM3", device}};
    EXPECT_FALSE(CDevicePort(host, env).Open(Args(name)));
  }
  EXPECT_EQ(Shown(host), "error: The device is not open.\nerror: The device is not open.\n"
                         "error: Communication port is not available\nerror: Device opening error (c1).\n");
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0666), 0);
  EXPECT_EQ(OpenAsNobody(), 0) << "a refused name does not leave the line exclusive";
  CDevicePort port(host, env);
  ASSERT_TRUE(port.Open(Args("COM3")));
  EXPECT_EQ(OpenAsNobody(), EBUSY) << "the line is exclusive while open";
  port.Close();
  ASSERT_EQ(::chmod(pty.SlavePath().c_str(), 0600), 0);
  EXPECT_EQ(test::RunUnprivileged([&] {
              test::FakeHost nobody;
              const bool opened = CDevicePort(nobody, env).Open(Args("COM3:"));
              return !opened && Shown(nobody) == "error: The device is busy.\n" ? 0 : 1;
            }),
            0);
}

TEST(ParallelPort, TheDeviceOfTheMappingGetsTheBytes) {
  test::TempDir dir;
  PortEnvironment env;
  env.devices = {{"LPT2", dir.File("lp")}};
  ASSERT_EQ(::mkfifo(env.devices[0].second.c_str(), 0600), 0);
  const int reader = ::open(env.devices[0].second.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  test::FakeHost host;
  CDevicePort port(host, env);
  ASSERT_TRUE(port.Open(Args("LPT2:")));
  EXPECT_TRUE(port.Write("\x1b\x00\xff", 3));
  port.Close();
  char received[8];
  EXPECT_EQ(std::string(received, static_cast<std::size_t>(std::max(0L, ::read(reader, received, 8)))),
            std::string("\x1b\x00\xff", 3));
  ::close(reader);
}

}  // namespace
}  // namespace corvelle
