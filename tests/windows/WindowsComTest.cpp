// SPDX-License-Identifier: MIT
// The COM and LPT kinds on Windows: the line settings the port asks for (the DCB's flag word
// and the platform's codes), and, against pty-peer's pseudo-terminal under Wine, the open's
// refusals and a held line that keeps writes and the queue wait waiting until STOP, losing nothing
// once it moves again. Then corvelle-cli.exe on the same line: set-com and a download at the
// stored settings (the line as the terminal gets it, every byte unchanged), and port names typed
// the Windows way.
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>

#include "CliProcess.h"
#include "ports/DevicePort.h"
#include "ports/PortSettings.h"
#include "ports/win/DeviceBackendsWin.h"
#include "support/FakeHost.h"

namespace corvelle {
namespace {

using test::HasSubstr;

// pty-peer, the Linux program that plays the printer at the other end of a pseudo-terminal it
// links into the Wine prefix as COMn and that starts this test program: what has arrived, the
// line's settings as the terminal has them, and holding the line (the peer stops reading).
class ComPeer {
 public:
  bool Present() const { return !m_number.empty(); }
  std::string PortName() const { return "COM" + m_number + ":"; }
  // Everything that has arrived since the peer started; with `from`, what came after that many
  // bytes once `size` more have (or after 10 s, as it is).
  std::string Received() const { return test::ReadFile(File("bytes")); }
  std::string ReceivedOnce(std::size_t from, std::size_t size) const {
    Until([&] { return Received().size() >= from + size; });
    return Received().substr(from);
  }
  // The line's settings as the peer last saw them ("speed=57600 bits=8 ..." and a newline), once
  // they equal `expected` (or after 10 s, as they are).
  std::string LineOnce(const std::string& expected) const {
    Until([&] { return test::ReadFile(File("line")) == expected; });
    return test::ReadFile(File("line"));
  }
  // While held, the peer reads nothing, so the line fills and writes stay unfinished.
  void Hold(bool held) const {
    if (held) test::WriteFile(File("hold"), "");
    else ::DeleteFileA(File("hold").c_str());
  }

 private:
  static std::string Env(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }
  // Wine takes the peer's Linux folder, with its forward slashes, on drive Z:.
  std::string File(const std::string& what) const { return "Z:" + m_dir + "/com" + m_number + "." + what; }
  static void Until(const std::function<bool()>& done) {
    for (int waited = 0; !done() && waited < 10'000; waited += 20) ::Sleep(20);
  }
  std::string m_number = Env("CORVELLE_PEER_COM"), m_dir = Env("CORVELLE_PEER_DIR");
};

std::string LineOf(int speed, int stop, int ixon) {
  return "speed=" + std::to_string(speed) + " bits=8 parity=none stop=" + std::to_string(stop) +
         " crtscts=1 ixon=" + std::to_string(ixon) + " ixoff=1 opost=0 icanon=0 echo=0\n";
}

// Of the flag word read, only the reserved bits (15 on) stay; binary, parity checking, XON/XOFF on
// input, the error character and the RTS handshake are always on, and bit 0 of each flow box
// counts. The platform's codes are not the list positions: even parity is 2 and odd 1, two stop
// bits 2. The reserved word is cleared.
TEST(WindowsComLine, TheFlagWordKeepsOnlyTheReservedBitsReadAndTakesBitZeroOfEachFlowBox) {
  const struct { DWORD read; int xonXoff, ctsFlow, parity, stop; DWORD word, dcbParity, dcbStop; } cases[] = {
      {0, 0, 0, 1, 1, 0x2603, 2, 2}, {0xFFFFFFFF, 0, 0, 2, 0, 0xFFFFA603, 1, 0}, {0xFFFFFFFF, 1, 1, 0, 0, 0xFFFFA707, 0, 0},
      {0x1111, 1, 0, 0, 1, 0x2703, 0, 2}, {0x1111, 2, 3, 1, 0, 0x2607, 2, 0}};
  for (const auto& c : cases) {
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    dcb.wReserved = 7;
    std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + offsetof(DCB, BaudRate) + sizeof dcb.BaudRate, &c.read,
                sizeof c.read);
    SetLineSettings(dcb, MakePortOpenArgs({.speedIndex = 5, .parityIndex = c.parity, .dataBitsIndex = 0,
                                           .stopBitsIndex = c.stop, .xonXoff = c.xonXoff, .hardwareFlow = c.ctsFlow}));
    EXPECT_EQ((std::vector<DWORD>{DcbFlagWord(dcb), dcb.BaudRate, dcb.Parity, dcb.ByteSize, dcb.StopBits, dcb.wReserved}),
              (std::vector<DWORD>{c.word, 57600, c.dcbParity, 7, c.dcbStop, 0}))
        << std::hex << c.read << " xon " << c.xonXoff << " cts " << c.ctsFlow;
  }
}

class WindowsComPort : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!peer.Present()) GTEST_SKIP() << "needs pty-peer, which ctest starts these tests through";
  }
  // The downloads' arguments: line `name` (the peer's by default) at speed position `speed`, both
  // flow controls on.
  PortOpenArgs Args(int speed, const std::string& name = {}) const {
    return MakePortOpenArgs({.portName = name.empty() ? peer.PortName() : name, .speedIndex = speed, .xonXoff = 1});
  }

  ComPeer peer;
  test::FakeHost host;
  CDevicePort port{host, PortEnvironment{}};
};

TEST_F(WindowsComPort, TheOpenRefusesANameWithoutColonAMissingComAndAMissingLpt) {
  // "COM12": the mode text "COM129600,N,8,1" is not one the system accepts.
  const struct { std::string name; const char* message; } refused[] = {
      {peer.PortName().substr(0, peer.PortName().size() - 1), "Device opening error (c1)."},
      {"COM15:", "The device is not open."},
      {"LPT2:", "The device is not open."}};
  for (const auto& r : refused) {
    EXPECT_FALSE(test::Said(host, port.Open(Args(2, r.name)))) << r.name;
    ASSERT_FALSE(host.messages.empty());
    EXPECT_EQ(host.messages.back().text, r.message) << r.name;
    EXPECT_EQ(host.messages.back().style, MessageStyle::Error);
  }
  EXPECT_EQ(host.messages.size(), 3u);
  EXPECT_FALSE(port.Write("x", 1));
  // The refused device was given up: the same line opens at once with its proper name.
  ASSERT_TRUE(port.Open(Args(2)));
  EXPECT_TRUE(port.Close());
}

// The peer stops reading: the terminal fills and a write stays unfinished, which the queue count
// shows (the terminal's own count reads 0 under Wine). The waits sleep on the host until STOP,
// and closing then discards the rest at once. Once the peer reads again, a held write finishes
// and everything arrives in order.
TEST_F(WindowsComPort, AHeldLineKeepsWritesAndTheQueueWaitWaitingUntilStopAndLosesNothingOnceFree) {
  std::string data(256 * 1024, '\0');
  for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 7 + i / 512) % 253);
  bool stop = false;
  port.SetCancelCheck([&] { return stop; });
  peer.Hold(true);
  std::size_t before = peer.Received().size();
  ASSERT_TRUE(port.Open(Args(5)));
  host.At(host.now + 5000, [&] { stop = true; });
  EXPECT_FALSE(port.Write(data.data(), data.size())) << "a write held until STOP reports it was not delivered";
  EXPECT_TRUE(stop);
  EXPECT_GT(port.QueuedOutput(), 10);
  EXPECT_FALSE(port.DrainOutput());
  ASSERT_FALSE(host.waits.empty());
  for (const auto& w : host.waits) EXPECT_GE(w.ms, 2) << "the wait sleeps between looks at the queue";
  EXPECT_LT(test::MsOf([&] { port.Close(); }), 1'000);
  peer.Hold(false);
  ::Sleep(300);
  const std::string partial = peer.Received().substr(before);
  EXPECT_TRUE(partial == data.substr(0, partial.size())) << "what arrived is not the start of the stream, unchanged";

  stop = false;
  peer.Hold(true);
  before = peer.Received().size();
  ASSERT_TRUE(port.Open(Args(5)));
  const std::int64_t released = host.now + 3000;
  host.At(released, [&] { peer.Hold(false); });
  // Once free, the line moves bytes in real time while the fake clock runs ahead: each fake 100 ms
  // also lets 50 real ms pass, so the no-progress limit measures the line and not the fake clock.
  for (std::int64_t t = released; t < released + 9000; t += 100) host.At(t, [] { ::Sleep(50); });
  EXPECT_TRUE(port.Write(data.data(), data.size()));
  EXPECT_TRUE(port.DrainOutput());
  EXPECT_EQ(port.QueuedOutput(), 0);
  EXPECT_TRUE(port.Close());
  EXPECT_GE(host.now, released) << "the write waited for the held line";
  EXPECT_TRUE(peer.ReceivedOnce(before, data.size()) == data) << "the stream arrived changed";
  EXPECT_TRUE(host.messages.empty());
}

class WindowsComCli : public test::CliFolders {
 protected:
  void SetUp() override {
    if (!peer.Present()) GTEST_SKIP() << "needs pty-peer, which ctest starts these tests through";
    CliFolders::SetUp();
  }

  ComPeer peer;
};

// Stored: 57600 baud (position 5), two stop bits, hardware flow on, XON/XOFF off. set-com asks
// for 19200 baud, odd parity, 8 data bits and one stop bit: the command goes out at the stored
// settings, and the line keeps them afterwards. Windows users name a port without the colon, in
// any case, or as the system's device: each reaches the same line (the profile's port is LPT1:
// from the second run on). Device number 0 and device paths are refused before anything is opened.
TEST_F(WindowsComCli, SetComSendsThePrintersCommandAtTheStoredLineAndLeavesTheLineThere) {
  StorePortSettings(profile, {.portName = peer.PortName(), .speedIndex = 5, .stopBitsIndex = 1, .hardwareFlow = 1});
  const std::string line = LineOf(57600, 2, 0);
  for (const std::string port : {"", "com12", "Com12:", "\\\\.\\COM12"}) {
    std::vector<std::string> args{"set-com", "--speed", "3", "--parity", "1", "--data-bits", "1", "--stop-bits", "0"};
    if (!port.empty()) args.insert(args.end(), {"--port", port});
    const std::size_t before = peer.Received().size();
    const test::CliRun run = Run(args);
    ASSERT_EQ(run.code, 0) << port << ": " << run.err;
    EXPECT_EQ(peer.ReceivedOnce(before, 13), "?A7&3,2,1,0\r\n") << port;
    EXPECT_EQ(peer.LineOnce(line), line) << port;
    EXPECT_THAT(run.out + run.err, HasSubstr("Wait printer autorestart.")) << port;
    profile.WriteString(kPortSection, "Port", "LPT1:");
  }
  for (const std::string port : {"com0", "/dev/ttyS0"}) {
    const test::CliRun run = Run({"download", "-q", "--port", port});
    EXPECT_EQ(run.code, 2) << port;
    EXPECT_THAT(run.err, HasSubstr("Unknown port \"" + port + "\": choose COM1: to COM16:"));
    EXPECT_THAT(run.err, ::testing::Not(HasSubstr("/dev/ttyUSB0")));
  }
}

// Stored: 38400 baud (position 4), two stop bits, both flow boxes clear; a download always asks
// for both flow controls. The port is named by --port.
TEST_F(WindowsComCli, ADownloadSendsExactlyTheFramedImageAtTheProfilesLineWithBothFlowControls) {
  const test::BuiltImage built = Build();
  // --port names the line, not the stored port.
  StorePortSettings(profile, {.portName = "LPT1:", .speedIndex = 4, .stopBitsIndex = 1, .hardwareFlow = 0});
  const std::size_t before = peer.Received().size();
  const test::CliRun run = Run({"download", "-q", "--port", peer.PortName()});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string expected = built.announcement + built.image;
  EXPECT_TRUE(peer.ReceivedOnce(before, expected.size()) == expected)
      << "the stream on the line differs from the announcement and the built image";
  const std::string line = LineOf(38400, 2, 1);
  EXPECT_EQ(peer.LineOnce(line), line);
}

}  // namespace
}  // namespace corvelle
