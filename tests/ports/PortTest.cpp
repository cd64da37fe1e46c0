// SPDX-License-Identifier: MIT
// The port object over a fake printer: the kind from the name, name-less ports, reopening, the
// serial queue wait; the port settings in the profile; the FILE kind's proposed name; and the TCP port probe
// against ports the test makes on 127.0.0.1: one that accepts, one with nothing listening, and
// one whose queue is full so that the connect gets no answer. The COM and LPT kinds on real
// devices: a pseudo-terminal stands in for the serial line (the port opens the slave through the
// "Devices" mapping, the test plays the printer on the master), a plain file for the parallel port.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <thread>

#include "base/Profile.h"
#include "ports/DeviceBackends.h"
#include "ports/DevicePort.h"
#include "ports/FakePrinter.h"
#include "ports/FileBackend.h"
#include "ports/OutputWait.h"
#include "ports/PortKit.h"
#include "ports/PortProbe.h"
#include "ports/PortSettings.h"
#include "ports/echo/EchoProbe.h"
#include "support/Loopback.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

using test::Args;

TEST(PortNames, KindNumberAndDeviceFollowTheCaseSensitivePrefixWindowsSpellingsTakeTheListsNameAndNoKindIsRefused) {
  const std::tuple<const char*, PortKind, int> cases[] = {
      {"COM12:", PortKind::Com, 12},  {"LPT2:", PortKind::Lpt, 2}, {"FILEOUT", PortKind::File, 0},
      {"TCP/IP", PortKind::TcpIp, 0}, {"USB1", PortKind::Usb, 1},  {"com1:", PortKind::None, 1},
      {"Usb", PortKind::None, 0},     {"COM9999999999", PortKind::Com, INT_MAX}};
  for (const auto& [name, kind, number] : cases)
    EXPECT_EQ(std::pair(KindFromName(name), PortNumberFromName(name)), std::pair(kind, number)) << name;
  Profile profile;
  profile.Parse("[Devices]\ncom3 = /dev/ttyUSB0\n");
  const PortEnvironment env = DefaultPortEnvironment(profile);
  EXPECT_EQ(DevicePath(env, "COM3") + DevicePath(env, "COM12") + DevicePath(env, "LPT2") + DevicePath(env, "COM0"),
            "/dev/ttyUSB0/dev/ttyS11/dev/lp1");
  for (const char* good : {"COM1:", "COM16", "COM01:"}) EXPECT_TRUE(IsValidComName(good)) << good;
  for (const char* bad : {"COM:", "COM0:", "COM1:x", "com1:"}) EXPECT_FALSE(IsValidComName(bad)) << bad;
  // The spellings Windows users type reach the port the list names; names of no port stay as
  // typed, so that the refusal shows what was typed.
  const std::pair<const char*, const char*> spellings[] = {
      {"COM3", "COM3:"},       {"com3:", "COM3:"},     {"\\\\.\\COM3", "COM3:"}, {"\\\\.\\com12:", "COM12:"},
      {"Com016", "COM16:"},    {"COM17", "COM17:"},    {"lpt2", "LPT2:"},         {"file", "FILE"},
      {"Tcp/Ip", "TCP/IP"},    {"usbGN2", "USBGN2"},   {"COM1:", "COM1:"},        {"COM0", "COM0"},
      {"com", "com"},          {"com3x", "com3x"},     {"COM1234567890", "COM1234567890"},
      {"\\\\.\\COM", "\\\\.\\COM"}, {"\\\\.\\file", "\\\\.\\file"}, {"files", "files"}, {"", ""}};
  for (const auto& [typed, name] : spellings) EXPECT_EQ(PortListName(typed), name) << typed;
  EXPECT_EQ(TypedPortName("com3"), "com3") << "only Windows takes its users' spellings";

  // A name of no kind is refused, and every other open closes the previous connection.
  test::FakeHost host;
  test::FakePrinter printer;
  CDevicePort port(host, test::Env([&](auto& e) { e.backendFactory = printer.Factory(); }));
  for (const char* name : {"COM3:", "LPT2:", "TCP/IP"}) EXPECT_TRUE(port.Open(Args(name)) && port.WriteText(name));
  for (const char* unknown : {"", "tcp/ip", "NOPE", "COM0:", "COMX"}) EXPECT_FALSE(Said(host, port.Open(Args(unknown)))) << unknown;
  port.Close();
  printer.refuseOpen = true;
  EXPECT_FALSE(Said(host, port.Open(Args("USB"))) || port.Write("a", 1)) << "a failed open leaves the port closed";
  port.Close();
  std::string script;  // O open, W and the bytes written, C close
  for (const auto& e : printer.events) script += "OWPDC"[static_cast<int>(e.type)] + e.bytes;
  EXPECT_EQ(script, "OWCOM3:COWLPT2:COWTCP/IPCO");
  EXPECT_EQ(host.pumps, 3) << "each write lets the surroundings run once";
  const std::string shown = Shown(host);
  for (const char* unknown : {"\"\"", "\"tcp/ip\"", "\"NOPE\"", "\"COM0:\"", "\"COMX\""})
    EXPECT_NE(shown.find(std::string("plain: Unknown port ") + unknown), std::string::npos) << unknown;
  EXPECT_TRUE(shown.ends_with("error: The device is not open.\n")) << shown;
  for (const char* known : {"COM1:", "LPT2", "FILE", "TCP/IP", "USB", "/dev/ttyUSB0"}) EXPECT_TRUE(IsKnownPortName(known));
  EXPECT_EQ(KindFromName("/dev/serial/by-id/usb-x"), PortKind::Com);
}

// A queue is waited for as long as it keeps falling, however slowly; one that has not fallen for
// 10 s fails the wait, and STOP ends it before that.
TEST(QueueWait, LastsWhileTheQueueFallsFailsTenSecondsAfterItStoppedAndALostEchoIsAskedAgain) {
  test::FakeHost host;
  const PortEnvironment env;
  bool stop = false;
  int watched = 0;
  PortContext context{host, env, [&] { return stop; }, [&] { ++watched; }};
  host.At(5000, [&] { stop = true; });
  EXPECT_TRUE(WaitForQueue(context, [] { return 4096L; }, 0, 2400).Stopped());
  // In sleeps of at most 100 ms, the output watch run at every step.
  EXPECT_EQ(std::pair(host.waits.back().ms, watched), std::pair(std::int64_t{100}, static_cast<int>(host.waits.size())));

  stop = false;
  // One byte leaves every 9.9 s: a whole minute and more of waiting, never 10 s without a fall.
  const std::int64_t start = host.now;
  const auto slow = [&] { return 8 - static_cast<long>((host.now - start) / 9900); };
  EXPECT_TRUE(WaitForQueue(context, slow, 0, 2400).Ok() && host.now - start >= 8 * 9900) << host.now - start;
  // It falls to 3 and stays there.
  const std::int64_t stalled = host.now;
  const auto stuck = [&] { return std::max(3L, 8 - static_cast<long>((host.now - stalled) / 1000)); };
  EXPECT_EQ(WaitForQueue(context, stuck, 0, 2400).code, Outcome::Code::Failed);
  EXPECT_TRUE(host.now - stalled > 5000 + kOutputStallMs && host.now - stalled <= 5000 + kOutputStallMs + 100);

  // A lost echo is asked again: up to three requests, one second apart within the 5 s, the first
  // reply ends it; reasons another request cannot change end it at once.
  const auto run = [](std::vector<int> answers) {
    std::vector<std::uint32_t> waits;
    const int result = AskForEchoReply([&, next = 0](std::uint32_t waitMs) mutable {
      waits.push_back(waitMs);
      return answers.at(next++);
    });
    return std::pair(result, waits);
  };
  using Waits = std::vector<std::uint32_t>;
  EXPECT_EQ(run({0}), std::pair(0, Waits{1000}));
  EXPECT_EQ(run({ETIMEDOUT, 0}), std::pair(0, Waits{1000, 1000}));
  EXPECT_EQ(run({ETIMEDOUT, ETIMEDOUT, 0}), std::pair(0, Waits{1000, 1000, 3000}));
  EXPECT_EQ(run({ETIMEDOUT, ETIMEDOUT, ETIMEDOUT}), std::pair(ETIMEDOUT, Waits{1000, 1000, 3000}));
  for (const int final : {ECANCELED, EACCES, kEchoErrorHostNotFound, kEchoErrorUnexpectedNetwork})
    EXPECT_EQ(run({ETIMEDOUT, final, 0}), std::pair(final, Waits{1000, 1000})) << final;
}

TEST(PortSettings, DefaultsRoundTripOutOfRangeIndexesKeptButClampedAndTheOutputNameSuggested) {
  Profile profile;
  profile.Parse("[Other]\nPort=LPT1:\n");
  EXPECT_EQ(LoadPortSettings(profile), (PortSettings{"COM1:", 2, 0, 1, 0, 0, 1, 0, 0, "192.168.1.100", 4001, 1}));
  const PortSettings s{"TCP/IP", 5, 2, 0, 1, 1, 0, 254, 1, "printer.local", 9100, 0};
  StorePortSettings(profile, s);
  std::string keys;
  for (const auto& [key, value] : profile.Entries(kPortSection)) keys += key + " ";
  EXPECT_EQ(keys, "Port PortSpeed PortParity PortDatabits PortStopbits PortXonXoff PortFlussoHardware IndRs485 Rs485On "
                  "IPaddress IPport EchoTest ") << "the echo test's switch comes after the eleven keys it joined";
  Profile reread;
  reread.Parse(profile.Serialize());
  EXPECT_EQ(LoadPortSettings(reread), s);
  EXPECT_TRUE(!MakePortOpenArgs(s).echoTest && MakePortOpenArgs(PortSettings{}).echoTest);

  reread.Parse("[Impostazione porta]\nPortSpeed=99\nPortParity=3\nPortDatabits=-1\nPortStopbits=7\n");
  const PortOpenArgs a = MakePortOpenArgs(LoadPortSettings(reread));
  EXPECT_EQ(std::vector({a.baudIndex, a.parityIndex, a.dataBitsIndex, a.stopBitsIndex}), std::vector({100, 3, -1, 7}))
      << "kept as stored; the baud index is the dialog's position plus one";
  EXPECT_EQ(std::tuple(BaudRateAt(a.baudIndex), DataBitsAt(a.dataBitsIndex), StopBitsAt(a.stopBitsIndex),
                       ParityAt(a.parityIndex)), std::tuple(9600, 8, 1, Parity::None));
  const PortOpenArgs top = MakePortOpenArgs({.speedIndex = INT_MAX});
  EXPECT_EQ(std::vector({BaudRateAt(top.baudIndex), BaudRateAt(6), BaudRateAt(7)}), std::vector({9600, 57600, 9600}));
  // The FILE kind's proposed name: only the first name is looked at for .krv; .out is not doubled.
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"C:\\Fonts\\set.KRV", "", "set.out"}, {"/home/u/a.krv.b.krv", "", "a.out"}, {"", "fb.krv", "fb.krv.out"},
      {"", "", ".out"}, {"fontext.out", "", "fontext.out"}, {"A.OUT.krv", "", "A.OUT"}};
  for (const auto& [first, second, name] : cases) EXPECT_EQ(SuggestedOutputName(first, second), name) << first << second;
}

// Accepted, refused, silent and stopped, told apart in words; ports out of range are refused
// without connecting.
TEST(PortProbe, TellsAcceptedRefusedAndSilentPortsApartInWords) {
  test::FakeHost host;
  const test::LoopbackPort listening(4), bound;  // bound only, never listening: the kernel refuses
  ASSERT_NE(listening.port, 0);
  EXPECT_EQ(PortProbeText(4001, ProbeTcpPort(host, "127.0.0.1", listening.port)), "port 4001 accepts connections");
  EXPECT_EQ(PortProbeText(4001, ProbeTcpPort(host, "127.0.0.1", bound.port)), "port 4001 refused the connection");
  const test::SilentPort full;
  std::int64_t start = host.now;
  const PortProbeResult silent = ProbeTcpPort(host, "127.0.0.1", full.listener.port, 400);
  // Given up at the limit, not at the socket's own 30 s.
  EXPECT_TRUE(silent.answer == PortAnswer::Silent && host.now - start >= 400 && host.now - start < 1000) << host.now;
  EXPECT_EQ(PortProbeText(4001, silent, 400) + ", " + PortProbeText(4001, silent),
            "port 4001 did not answer within 1 s, port 4001 did not answer within 3 s");
  // STOP ends the wait at once; asked to stop before it starts, it makes no connection at all.
  bool stop = false;
  start = host.now;
  host.At(start + 100, [&] { stop = true; });
  EXPECT_EQ(PortProbeText(4001, ProbeTcpPort(host, "127.0.0.1", full.listener.port, 3000, [&] { return stop; })),
            "the port test was stopped");
  EXPECT_LT(host.now - start, 300);
  const int waits = host.fdWaits;
  EXPECT_EQ(ProbeTcpPort(host, "127.0.0.1", full.listener.port, 3000, [] { return true; }).answer, PortAnswer::Stopped);
  for (const int port : {0, -1, 65536}) {
    EXPECT_EQ(ProbeTcpPort(host, "127.0.0.1", port).answer, PortAnswer::Unreachable) << port;
    EXPECT_EQ(PortProbeText(port, {}), "port " + std::to_string(port) + " is not a TCP port (1 to 65535)");
  }
  EXPECT_EQ(host.fdWaits, waits);
  EXPECT_EQ(PortProbeText(4001, {PortAnswer::Unreachable, ENETUNREACH}),
            "port 4001 cannot be reached (Network is unreachable)");
}

struct SerialFixture : ::testing::Test {
  void SetUp() override { ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0); }
  void TearDown() override { ::close(master); }
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
  ASSERT_EQ(::write(master, "\x13", 1), 1);  // XOFF from the printer's side
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
      for (ssize_t n; got.size() < data.size() && ::poll(&p, 1, 2000) > 0 && (n = ::read(master, b, sizeof b)) > 0;)
        got.append(b, static_cast<std::size_t>(n));
    });
    ASSERT_EQ(::write(master, "\x11", 1), 1);  // XON
  });
  EXPECT_TRUE(port.Write(data.data(), data.size()));
  if (printer.joinable()) printer.join();
  EXPECT_TRUE(beforeXon == 0 && got == data) << beforeXon << " bytes left the port while the printer said XOFF";
}

TEST_F(SerialFixture, OpenFailuresNameTheirCauseReleaseTheLineNobodyFindsItBusyAndLptWritesItsMapping) {
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
  // The parallel port writes to the device of its mapping.
  env.devices = {{"LPT2", dir.Write("lp", "")}};
  CDevicePort lpt(host, env);
  ASSERT_TRUE(lpt.Open(Args("LPT2:")) && lpt.Write("\x1b\x00\xff", 3));
  lpt.Close();
  EXPECT_EQ(test::ReadFile(dir.File("lp")), std::string("\x1b\x00\xff", 3));
}

}  // namespace
}  // namespace corvelle
