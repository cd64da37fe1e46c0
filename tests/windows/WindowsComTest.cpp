// SPDX-License-Identifier: MIT
// The COM and LPT kinds on Windows: the line settings the port asks for (the DCB's flag word
// and the platform's codes), and, against pty-peer's pseudo-terminal under Wine, the line as the
// terminal gets it, bytes that arrive unchanged, the open's refusals, and a held line that keeps
// writes and the queue wait waiting until STOP (the command line's Ctrl-C too, sleeping
// meanwhile), losing nothing once it moves again.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>

#include "ComPeer.h"
#include "base/win/ConsoleStop.h"
#include "cli/TerminalHost.h"
#include "ports/DevicePort.h"
#include "ports/win/DeviceBackendsWin.h"
#include "support/FakeHost.h"

namespace corvelle {
namespace {

DCB DcbWithFlags(DWORD word) {
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  std::memcpy(reinterpret_cast<unsigned char*>(&dcb) + offsetof(DCB, BaudRate) + sizeof dcb.BaudRate, &word,
              sizeof word);
  return dcb;
}

TEST(WindowsComLine, TheFlagWordKeepsOnlyTheReservedBitsReadAndTakesBitZeroOfEachFlowBox) {
  for (const DWORD read : {0x00000000UL, 0xFFFFFFFFUL, 0x00001111UL}) {
    for (const auto& [xonXoff, ctsFlow] : {std::pair{0, 0}, {1, 0}, {0, 1}, {1, 1}, {2, 3}}) {
      PortOpenArgs args;
      args.xonXoff = xonXoff;
      args.ctsFlow = ctsFlow;
      DCB dcb = DcbWithFlags(read);
      SetLineSettings(dcb, args);
      const DWORD expected = (read & 0xFFFFA603UL) | 0x2603UL | ((xonXoff & 1UL) << 8) | ((ctsFlow & 1UL) << 2);
      EXPECT_EQ(DcbFlagWord(dcb), expected) << std::hex << read << " xon " << xonXoff << " cts " << ctsFlow;
    }
  }
}

// The platform's codes are not the list positions: even parity is 2 and odd 1, two stop bits 2.
TEST(WindowsComLine, ThePositionsBecomeThePlatformsCodesAndTheReservedWordIsCleared) {
  PortOpenArgs args;
  args.baudIndex = 6;
  args.parityIndex = 1;
  args.dataBitsIndex = 0;
  args.stopBitsIndex = 1;
  DCB dcb = DcbWithFlags(0);
  dcb.wReserved = 7;
  SetLineSettings(dcb, args);
  EXPECT_EQ(std::vector<int>({static_cast<int>(dcb.BaudRate), dcb.Parity, dcb.ByteSize, dcb.StopBits, dcb.wReserved}),
            std::vector<int>({57600, 2, 7, 2, 0}));
  args.parityIndex = 2;
  args.stopBitsIndex = 0;
  SetLineSettings(dcb, args);
  EXPECT_EQ(std::vector<int>({dcb.Parity, dcb.StopBits}), std::vector<int>({1, 0}));
}

class WindowsComPort : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!peer.Present()) GTEST_SKIP() << "needs pty-peer, which ctest starts these tests through";
  }
  // The downloads' arguments: both flow controls on, at `baudIndex` with `stopBitsIndex`.
  PortOpenArgs Args(int baudIndex, int stopBitsIndex) const {
    PortOpenArgs a;
    a.portName = peer.PortName();
    a.portNumber = PortNumberFromName(a.portName);
    a.baudIndex = baudIndex;
    a.dataBitsIndex = 1;
    a.stopBitsIndex = stopBitsIndex;
    a.xonXoff = a.ctsFlow = 1;
    return a;
  }

  test::ComPeer peer;
  test::FakeHost host;
  CDevicePort port{host, PortEnvironment{}};
};

TEST_F(WindowsComPort, OpenSetsTheLineAsAskedAndEveryByteArrivesUnchanged) {
  std::string data;
  for (int i = 0; i < 256; ++i) data += static_cast<char>(i);
  data += "?Z:&1376256\n\r\n";
  const std::size_t before = peer.Received().size();
  ASSERT_TRUE(port.Open(Args(6, 1)));
  EXPECT_EQ(peer.LineOnce("speed=57600 bits=8 parity=none stop=2 crtscts=1 ixon=1 ixoff=1 opost=0 icanon=0 echo=0\n"),
            "speed=57600 bits=8 parity=none stop=2 crtscts=1 ixon=1 ixoff=1 opost=0 icanon=0 echo=0\n");
  ASSERT_TRUE(port.Write(data.data(), data.size()));
  EXPECT_TRUE(port.DrainOutput());
  EXPECT_TRUE(port.Close());
  EXPECT_EQ(peer.ReceivedOnce(before + data.size()).substr(before), data);

  PortOpenArgs a = Args(1, 0);
  a.ctsFlow = 0;
  a.xonXoff = 2;  // only bit 0 of the flow boxes counts
  ASSERT_TRUE(port.Open(a));
  // Wine gives the terminal CRTSCTS for the RTS handshake too, which the port always asks for,
  // so the CTS box shows only in the DCB's flag word (tested above).
  EXPECT_EQ(peer.LineOnce("speed=2400 bits=8 parity=none stop=1 crtscts=1 ixon=0 ixoff=1 opost=0 icanon=0 echo=0\n"),
            "speed=2400 bits=8 parity=none stop=1 crtscts=1 ixon=0 ixoff=1 opost=0 icanon=0 echo=0\n")
      << "XON/XOFF control of the input stays on";
  EXPECT_TRUE(port.Close());
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(WindowsComPort, TheOpenRefusesANameWithoutColonAMissingComAndAMissingLpt) {
  PortOpenArgs a = Args(3, 0);
  a.portName.pop_back();  // "COM12": the mode text "COM129600,N,8,1" is not one the system accepts
  EXPECT_FALSE(test::Said(host, port.Open(a)));
  PortOpenArgs missingCom = Args(3, 0);
  missingCom.portName = "COM15:";
  missingCom.portNumber = 15;
  EXPECT_FALSE(test::Said(host, port.Open(missingCom)));
  PortOpenArgs missingLpt = missingCom;
  missingLpt.portName = "LPT2:";
  missingLpt.portNumber = 2;
  EXPECT_FALSE(test::Said(host, port.Open(missingLpt)));
  ASSERT_EQ(host.messages.size(), 3u);
  EXPECT_EQ(host.messages[0].text, "Device opening error (c1).");
  EXPECT_EQ(host.messages[1].text, "The device is not open.");
  EXPECT_EQ(host.messages[2].text, "The device is not open.");
  for (const auto& m : host.messages) EXPECT_EQ(m.style, MessageStyle::Error);
  EXPECT_FALSE(port.Write("x", 1));
  // The refused device was given up: the same line opens at once with its proper name.
  ASSERT_TRUE(port.Open(Args(3, 0)));
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
  ASSERT_TRUE(port.Open(Args(6, 0)));
  host.At(host.now + 5000, [&] { stop = true; });
  EXPECT_FALSE(port.Write(data.data(), data.size())) << "a write held until STOP reports it was not delivered";
  EXPECT_TRUE(stop);
  EXPECT_GT(port.QueuedOutput(), 10);
  EXPECT_FALSE(port.DrainOutput());
  ASSERT_FALSE(host.waits.empty());
  for (const auto& w : host.waits) EXPECT_GE(w.ms, 2) << "the wait sleeps between looks at the queue";
  const ULONGLONG closing = ::GetTickCount64();
  port.Close();
  EXPECT_LT(::GetTickCount64() - closing, 1000u);
  peer.Hold(false);
  ::Sleep(300);
  const std::string partial = peer.Received().substr(before);
  EXPECT_LT(partial.size(), data.size());
  EXPECT_TRUE(partial == data.substr(0, partial.size())) << "what arrived is not the start of the stream, unchanged";

  stop = false;
  peer.Hold(true);
  before = peer.Received().size();
  ASSERT_TRUE(port.Open(Args(6, 0)));
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
  const std::string whole = peer.ReceivedOnce(before + data.size()).substr(before);
  EXPECT_EQ(whole.size(), data.size());
  EXPECT_TRUE(whole == data) << "the stream arrived changed";
  EXPECT_TRUE(host.messages.empty());
}

// With the command line's own host: the held write sleeps in the host's waits until the
// console's Ctrl-C (the handler called as Windows calls it), then the port closes at once.
TEST_F(WindowsComPort, CtrlCEndsAHeldWriteThatSleptMeanwhile) {
  using Clock = std::chrono::steady_clock;
  cli::TerminalHost terminal;
  CDevicePort held{terminal, PortEnvironment{}};
  const std::string data(256 * 1024, 'k');
  peer.Hold(true);
  ASSERT_TRUE(held.Open(Args(6, 0)));
  std::thread console([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(600));
    win::ConsoleStop::Handle(CTRL_C_EVENT);
  });
  FILETIME created, ended, kernelBefore, userBefore, kernelAfter, userAfter;
  ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernelBefore, &userBefore);
  const Clock::time_point start = Clock::now();
  EXPECT_FALSE(held.Write(data.data(), data.size()));
  const double waited = std::chrono::duration<double>(Clock::now() - start).count();
  ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernelAfter, &userAfter);
  console.join();
  const auto ticks = [](const FILETIME& f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  const double busy =
      static_cast<double>(ticks(kernelAfter) - ticks(kernelBefore) + ticks(userAfter) - ticks(userBefore)) / 1e7;
  EXPECT_GE(waited, 0.5) << "the write returned before Ctrl-C";
  EXPECT_LT(waited, 2.0);
  EXPECT_LT(busy, waited / 2) << "the wait spun instead of sleeping";
  EXPECT_FALSE(held.DrainOutput());
  const Clock::time_point closing = Clock::now();
  held.Close();
  EXPECT_LT(std::chrono::duration<double>(Clock::now() - closing).count(), 1.0);
  peer.Hold(false);
}

}  // namespace
}  // namespace corvelle
