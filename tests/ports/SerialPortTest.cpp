// SPDX-License-Identifier: MIT
// The COM and LPT kinds on real devices: a pseudo-terminal stands in for the serial line (the
// port opens the slave through the "Devices" mapping, the test plays the printer on the master),
// a plain file for the parallel port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "ports/DeviceBackends.h"
#include "ports/DevicePort.h"
#include "ports/PortKit.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

using test::Args;

struct SerialFixture : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0); }
  void TearDown() override { ::close(master); }
  // Bytes from the printer's side into the line (XON, XOFF).
  void Send(char byte) { ASSERT_EQ(::write(master, &byte, 1), 1); }
  // The line as the port left it: output speed, data and stop bits with CTS, XON/XOFF.
  std::vector<unsigned> Line() {
    termios t{};
    const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    EXPECT_EQ(::tcgetattr(fd, &t), 0);
    ::close(fd);
    return {::cfgetospeed(&t), t.c_cflag & (CSIZE | CSTOPB | CRTSCTS), t.c_iflag & (IXON | IXOFF)};
  }
  // Opens COM3 through a port as user nobody: 0 when that works, 1 when nobody is told it is busy.
  int NobodyOpens() {
    return test::RunUnprivileged([this] {
      test::FakeHost nobody;
      if (Said(nobody, CDevicePort(nobody, env).Open(Args("COM3:")))) return 0;
      return Shown(nobody) == "error: The device is busy.\n" ? 1 : 2;
    });
  }
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  const std::string slave = master >= 0 ? ::ptsname(master) : "";
  test::FakeHost host;
  PortEnvironment env = test::Env([this](auto& e) { e.devices = {{"COM3", slave}}; });
  CDevicePort port{host, env};
};

TEST_F(SerialFixture, OpenSetsTheLineWithTheFlowControlsAsked) {
  PortOpenArgs a = Args("COM3:");
  a.baudIndex = 5;
  a.stopBitsIndex = a.xonXoff = a.ctsFlow = 1;
  ASSERT_TRUE(port.Open(a));
  EXPECT_EQ(Line(), (std::vector<unsigned>{B38400, CS8 | CSTOPB | CRTSCTS, IXON | IXOFF}));
  a.baudIndex = 1;
  a.stopBitsIndex = a.ctsFlow = 0;
  a.xonXoff = 2;  // only bit 0 of the flow boxes counts
  ASSERT_TRUE(port.Open(a));
  EXPECT_EQ(Line(), (std::vector<unsigned>{B2400, CS8, IXOFF})) << "input XON/XOFF stays on";
  a.dataBitsIndex = 0;
  a.parityIndex = 2;
  termios t{};
  SetLineDiscipline(t, a);  // a pseudo-terminal keeps no parity or 7-bit setting
  EXPECT_EQ(t.c_cflag & (CSIZE | PARENB | PARODD), static_cast<tcflag_t>(CS7 | PARENB | PARODD));
}

// More than the line holds at once: the writes that it takes only partly are finished.
TEST_F(SerialFixture, XoffHoldsEveryByteUntilXon) {
  PortOpenArgs a = Args("COM3:");
  a.xonXoff = 1;
  ASSERT_TRUE(port.Open(a));
  Send(19);
  ::usleep(20000);
  std::string data(300000, '\0'), got;
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i % 251);
  int beforeXon = -1;
  std::thread printer;
  host.OnTick(4, [&] {
    ::ioctl(master, FIONREAD, &beforeXon);
    printer = std::thread([&] {  // reads until all came, or nothing for 2 s
      char b[4096];
      pollfd p{master, POLLIN, 0};
      for (ssize_t n; got.size() < data.size() && ::poll(&p, 1, 2000) > 0 && (n = ::read(master, b, sizeof b)) > 0;) {
        got.append(b, static_cast<std::size_t>(n));
      }
    });
    Send(17);
  });
  EXPECT_TRUE(port.Write(data.data(), data.size()));
  if (printer.joinable()) printer.join();
  EXPECT_EQ(beforeXon, 0) << "nothing left the port while the printer said XOFF";
  EXPECT_TRUE(got == data);
}

TEST_F(SerialFixture, OpenFailuresNameTheirCauseReleaseTheLineAndNobodyFindsItBusy) {
  test::TempDir dir;
  const std::pair<std::string, const char*> cases[] = {
      {"/nonexistent/tty", "COM3:"}, {slave, "COM0:"}, {dir.Write("plain", ""), "COM3:"}, {slave, "COM3:x"}};
  for (const auto& [device, name] : cases) {
    env.devices = {{"COM3", device}};
    EXPECT_FALSE(Said(host, CDevicePort(host, env).Open(Args(name))));
  }
  EXPECT_EQ(Shown(host), "error: The device is not open.\nplain: Unknown port \"COM0:\": choose COM1: to COM16:, LPT1:, "
                         "LPT2:, FILE, TCP/IP, USB or a serial device such as /dev/ttyUSB0.\n"
                         "error: Communication port is not available\nerror: Device opening error (c1).\n");
  ASSERT_EQ(::chmod(slave.c_str(), 0666), 0);
  EXPECT_EQ(NobodyOpens(), 0) << "a refused name does not leave the line exclusive";
  ASSERT_TRUE(port.Open(Args("COM3")));
  EXPECT_EQ(NobodyOpens(), 1) << "the line is exclusive while open";
  port.Close();
  ASSERT_EQ(::chmod(slave.c_str(), 0600), 0);
  EXPECT_EQ(NobodyOpens(), 1) << "a line nobody may not open";
}

TEST_F(SerialFixture, TheParallelPortWritesToTheDeviceOfItsMapping) {
  test::TempDir dir;
  env.devices = {{"LPT2", dir.Write("lp", "")}};
  CDevicePort lpt(host, env);
  ASSERT_TRUE(lpt.Open(Args("LPT2:")) && lpt.Write("\x1b\x00\xff", 3));
  lpt.Close();
  EXPECT_EQ(test::ReadFile(dir.File("lp")), std::string("\x1b\x00\xff", 3));
}

}  // namespace
}  // namespace corvelle
