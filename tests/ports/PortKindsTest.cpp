// SPDX-License-Identifier: MIT
// The TCP/IP kind against a printer the test plays on 127.0.0.1, on Linux and on Windows alike;
// the reachability test is replaced, so nothing but loopback is ever contacted. Only the end of
// a connection differs: Linux counts the bytes still unsent and ends the stream behind the last
// of them, Windows trusts the linger. The USB kind over a scripted bridge library: the calls it
// makes, open, purge, write and queue-status failures, and the XON/XOFF permission to send. The
// FILE kind: the save dialog at every open, truncation, bytes unchanged, a file another writer
// holds, and write failures.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>
#else
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <chrono>
#include <thread>

#include "ports/ClientSocket.h"
#include "ports/DevicePort.h"
#include "ports/FakeD2xx.h"
#include "ports/PortKit.h"
#include "ports/TcpBackend.h"
#include "ports/UsbBackend.h"
#include "support/Elapsed.h"
#include "support/LoopbackPrinter.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

using std::chrono::milliseconds;
using test::PrinterEnd;

const char* const kClosed = "plain: TCP/IP - The printer closed the connection.\nThe transfer was stopped.\n";

struct TcpFixture : ::testing::Test {
  void SetUp() override {
    ASSERT_NE(listener.Port(), 0);
    args.ipAddress = "127.0.0.1";
    args.ipPort = listener.Port();
  }
  const CClientSocket& Socket() { return *static_cast<TcpBackend*>(port.Backend())->Socket(); }
  // A socket option of the port's connection.
  template <typename T>
  T Option(int name) {
    T value{};
    socklen_t length = sizeof value;
    EXPECT_EQ(::getsockopt(Socket().Descriptor(), SOL_SOCKET, name, reinterpret_cast<char*>(&value), &length), 0);
    return value;
  }
  // Opens the port to `slow`, whose connection lingers 10 s; the printer's end.
  PrinterEnd OpenLingering() {
    args.ipPort = slow.Port();
    EXPECT_TRUE(port.Open(args));
    const linger lingering = Option<linger>(SO_LINGER);
    EXPECT_EQ((std::pair<int, int>(lingering.l_onoff, lingering.l_linger)), std::pair(1, 10));
    return slow.Accept();
  }
  test::PrinterListener listener;
  test::PrinterListener slow{4096};  // a receive window that a large image fills at once
  PortOpenArgs args = test::Args("TCP/IP");
  std::vector<std::string> probed;
  bool answers = true;
  test::FakeHost host;
  CDevicePort port{host, test::Env([this](auto& e) {
                      e.reachable = [this](const std::string& address) { return probed.push_back(address), answers; };
                    })};
};

TEST_F(TcpFixture, BytesLeaveExactlyInBlocksOf4096AndTheRestAtCloseOnATestedConnection) {
  ASSERT_TRUE(port.Open(args));
  const PrinterEnd printer = listener.Accept();
  const std::string part(4095, 'a');
  ASSERT_TRUE(port.Write(part.data(), part.size()));
  EXPECT_FALSE(printer.Pending(50)) << "less than a block stays in the port";
  ASSERT_TRUE(port.WriteText("b"));
  EXPECT_EQ(printer.Read(4096), part + "b");
  std::string rest(10000, '\0');
  for (std::size_t i = 0; i < rest.size(); ++i) rest[i] = static_cast<char>(i % 7 ? i : 0);
  ASSERT_TRUE(port.Write(rest.data(), rest.size()));
  EXPECT_TRUE(port.Close() && printer.Read(rest.size()) == rest);
  EXPECT_EQ(std::pair(probed, Shown(host)), std::pair(std::vector<std::string>{"127.0.0.1"}, std::string()));
}

TEST_F(TcpFixture, AnAddressThatDoesNotAnswerIsNotConnectedAndARefusalShowsItsNumber) {
  answers = false;
  EXPECT_FALSE(Said(host, port.Open(args)));
  EXPECT_FALSE(listener.Incoming(30)) << "no connection was made";
  // Without the echo test (a site that drops ICMP) the silent address is connected to at once.
  args.echoTest = false;
  ASSERT_TRUE(port.Open(args));
  EXPECT_TRUE(listener.Accept().Valid());
  port.Close();
  EXPECT_EQ(probed.size(), 1u) << "no echo was asked for";
  args.echoTest = answers = true;
  listener.Close();
  EXPECT_FALSE(Said(host, port.Open(args)));
  args.echoTest = false;
  EXPECT_FALSE(Said(host, port.Open(args))) << "the connect's refusal decides";
  const std::string refused = "plain: TPC/IP - Failed to connect.\nWait a moment and retry !\nError nr.  " +
                              std::to_string(test::loopback::RefusedNumber()) + ".\n";
  EXPECT_EQ(Shown(host), "plain: TCP/IP device is not responding\n" + refused + refused);
  EXPECT_FALSE(port.Write("a", 1)) << "a port that did not open takes nothing";
}

TEST_F(TcpFixture, APrinterThatGoesAwayMidStreamOrBeforeTakingTheLastBytesIsReportedOnce) {
  ASSERT_TRUE(port.Open(args));
  const std::string chunk(4096, 'c');
  int writes = 0;
  for (; writes < 20000 && Said(host, port.Write(chunk.data(), chunk.size())); ++writes) {
    if (writes == 10) listener.Accept();  // the printer's end goes at once
  }
  EXPECT_LT(writes, 20000) << "the writes stopped";
  EXPECT_FALSE(Said(host, port.Write(chunk.data(), chunk.size())) || Said(host, port.Close()));
  EXPECT_EQ(Shown(host), kClosed);
  // A printer that resets the connection with bytes it never read: the loss shows at close.
  ASSERT_TRUE(port.Open(args));
  PrinterEnd printer = listener.Accept();
  ASSERT_TRUE(port.Write(chunk.data(), chunk.size()));
  ASSERT_TRUE(printer.Pending(2000));
  printer.Reset();
  std::this_thread::sleep_for(milliseconds(100));
  EXPECT_FALSE(Said(host, port.Close()));
  EXPECT_EQ(Shown(host), std::string(kClosed) + kClosed);
}

// A printer that sends replies and closes while the port has nothing to send: the pumps read its
// replies (counted, zeros kept as 0x01, the text capped) and then its close, and the next write
// fails at once instead of filling the buffer.
TEST_F(TcpFixture, APrinterThatClosedIsSeenAtTheNextPumpAndFailsTheNextWrite) {
  ASSERT_TRUE(port.Open(args));
  PrinterEnd printer = listener.Accept();  // it reads nothing
  std::string flood(200000, '\0');
  for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<char>(i % 3 == 1 ? 0 : 'A' + i % 26);
  const CClientSocket& socket = Socket();
  for (std::size_t i = 0, sent = 0; i < 10000 && !socket.PeerClosed(); ++i) {
    if (printer.Valid() && (sent += printer.SendSome(std::string_view(flood).substr(sent))) == flood.size())
      printer.Reset(false);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
    port.PumpMessages();
  }
  std::string kept = flood.substr(flood.size() - CClientSocket::kReceivedTextLimit);
  std::replace(kept.begin(), kept.end(), '\0', '\x01');
  EXPECT_TRUE(socket.ReceivedCount() == 200000 && socket.ReceivedText() == kept) << socket.ReceivedCount();
  EXPECT_FALSE(Said(host, port.Write("a", 1)));
  EXPECT_EQ(Shown(host), kClosed);
}

#ifdef _WIN32
// A printer that accepts but stops reading leaves bytes unsent: when the linger is up the close
// reports the loss instead of a success. Under Wine the lingering close blocks for the whole
// linger (real seconds), where Windows says WSAEWOULDBLOCK.
TEST_F(TcpFixture, TheSocketLingersWithALargeSendBufferAndBytesLeftUnsentAfterTheLingerFailTheClose) {
  const PrinterEnd printer = OpenLingering();
  EXPECT_GE(Option<int>(SO_SNDBUF), 2 << 20);
  const std::string image(256 * 1024, 'i');
  const auto start = test::Clock::now();
  EXPECT_FALSE(Said(host, port.Write(image.data(), image.size())) && Said(host, port.Close()));
  EXPECT_LT(test::SecondsSince(start), 30);
  EXPECT_EQ(Shown(host),
            "plain: TCP/IP - Sending to the printer failed: Connection timed out.\nThe transfer was stopped.\n");
}
#else
// The download's socket lingers 10 s with a large send buffer. A printer with a small receive
// window that reads slowly takes far longer than 10 s for an area: the drain and the close wait
// as long as the unsent count keeps falling, and every byte arrives. One that stops reading fails
// 10 s after the last byte it took, instead of a success. The printer's reads run on the fake
// clock inside the port's own waits, so the test takes a fraction of a second.
TEST_F(TcpFixture, ASlowPrinterIsWaitedForWhileItTakesBytesAndOneThatStopsFailsTenSecondsLater) {
  const PrinterEnd printer = OpenLingering();
  // The kernel caps the request at net.core.wmem_max and reports twice what it keeps.
  const long cap = std::stol(test::ReadFile("/proc/sys/net/core/wmem_max"));
  EXPECT_EQ(Option<int>(SO_SNDBUF), 2 * std::min(2L << 20, cap));

  // 16 KiB every 2 s of fake time: 256 KiB take more than 30 s, six times the linger.
  std::string image(256 * 1024, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13 / 7);
  std::string arrived;
  std::size_t stopAfter = image.size();
  std::int64_t lastRead = 0;
  const PrinterEnd* reading = &printer;
  std::function<void()> readSome = [&] {
    std::this_thread::sleep_for(milliseconds(2));  // lets loopback deliver and acknowledge
    if (arrived.size() < stopAfter) {
      arrived += reading->Read(std::min<std::size_t>(16384, stopAfter - arrived.size()), 0);
      lastRead = host.now;
    }
    host.At(host.now + 2000, readSome);
  };
  host.At(2000, readSome);
  // What the port holds counts every byte sent since it was last asked.
  ASSERT_TRUE(port.Write(image.data(), 4096));
  EXPECT_LE(port.QueuedOutput(), 4096);
  ASSERT_TRUE(port.Write(image.data() + 4096, image.size() - 4096));
  EXPECT_GT(port.QueuedOutput(), 200 * 1024) << "the printer has taken almost nothing yet";
  EXPECT_TRUE(port.DrainOutput() && port.QueuedOutput() == 0 && host.now > 3 * TcpBackend::kLingerMs) << host.now;
  EXPECT_TRUE(port.Close() && arrived == image && Shown(host).empty()) << Shown(host);

  // The same printer stops reading after 64 KiB.
  ASSERT_TRUE(port.Open(args));
  const PrinterEnd second = slow.Accept();
  reading = &second;  // the reads go on every 2 s
  arrived.clear();
  stopAfter = 64 * 1024;
  ASSERT_TRUE(port.Write(image.data(), image.size()));
  EXPECT_FALSE(Said(host, port.Close()));
  // The close waited out the linger after the last byte left.
  EXPECT_TRUE(arrived.size() == stopAfter && host.now - lastRead >= TcpBackend::kLingerMs &&
              host.now - lastRead < TcpBackend::kLingerMs + 2500) << arrived.size() << " bytes, " << host.now - lastRead;
  EXPECT_EQ(Shown(host), "plain: TCP/IP - Sending to the printer failed: Connection timed out.\nThe transfer was stopped.\n");
}

// A printer whose acknowledgements come late (later than the whole 10 s of fake time the wait
// takes) but that closes when the stream ends: the end of the output goes right behind the last
// bytes, so its close acknowledges them, and the area's last wait ends there, a success.
TEST_F(TcpFixture, APrinterThatAcknowledgesLateIsDoneWhenItClosesAtTheEndOfTheStream) {
  ASSERT_TRUE(port.Open(args));
  PrinterEnd printer = listener.Accept();
  const int off = 0;
  ASSERT_EQ(::setsockopt(printer.Handle(), IPPROTO_TCP, TCP_QUICKACK, &off, sizeof off), 0);
  std::string arrived;
  std::function<void()> readToEnd = [&] {
    char bytes[512];
    ssize_t n = 0;
    while ((n = ::recv(printer.Handle(), bytes, sizeof bytes, MSG_DONTWAIT)) > 0) arrived.append(bytes, n);
    if (n == 0) printer = PrinterEnd();
    if (printer.Valid()) host.At(host.now + 1, readToEnd);
  };
  host.At(host.now + 1, readToEnd);
  ASSERT_TRUE(port.WriteText("the last bytes of an area"));
  EXPECT_TRUE(port.FinishOutput() && port.Close());
  EXPECT_EQ(arrived + Shown(host), "the last bytes of an area");
}

#endif

using test::Bridge;

struct UsbFixture : ::testing::Test {
  Bridge bridge;
  test::FakeHost host;
  CDevicePort port{
      host, test::Env([this](auto& e) { e.usbLibrary = [this] { return std::make_unique<test::FakeD2xx>(bridge); }; })};
};

// The statuses of open, purge and write; the calls made by an open, two writes, Purge and Close,
// and what was shown. A bridge that failed its purge is released at once, and nothing is written
// after a failed write.
TEST_F(UsbFixture, OpenFindsTheBridgeByDescriptionAndFailuresShowTheirStatusWithTwoDigits) {
  const std::string open = "open Varnesi Bridge GN2 2; reset; timeouts 3000; purge 1; ";
  const std::tuple<int, int, int, std::string, const char*> cases[] = {
      {kD2xxOk, kD2xxOk, kD2xxOk, open + "status; write abc; status; write abc; purge 3; close; ", ""},
      {kD2xxDeviceNotOpened, kD2xxOk, kD2xxOk, "open Varnesi Bridge GN2 2; ", "error: USB device opening error #03\n"},
      {kD2xxOk, 14, kD2xxOk, open + "close; ", "error: USB device opening error #14\n"},
      {kD2xxOk, kD2xxOk, kD2xxIoError, open + "status; write abc; purge 3; close; ",
       "error: USB device write error #04\n0 of 3 bytes were sent.\n"}};
  for (const auto& [openStatus, purgeStatus, writeStatus, calls, shown] : cases) {
    bridge = Bridge{};
    std::tie(bridge.openStatus, bridge.purgeStatus, bridge.writeStatus) = std::tie(openStatus, purgeStatus, writeStatus);
    host.messages.clear();
    if (Said(host, port.Open(test::Args("USB")))) {
      for (int write = 0; write < 2; ++write) Said(host, port.WriteText("abc"));
      port.Purge();
      port.Close();
    }
    EXPECT_EQ(bridge.calls + "| " + Shown(host), calls + "| " + shown);
  }
}

TEST_F(UsbFixture, WritesWaitUntilABlockWhoseFirstByteIsNotXoffAndStopEndsTheWait) {
  // The text written, the blocks found, and the calls made.
  const std::tuple<const char*, std::deque<Bridge::Block>, const char*> cases[] = {
      {"data", {{"\x13"}, {""}, {"\x13\x11"}, {"\x11\x13"}},  // the first byte of a block counts
       "status; read 1; status; status; read 2; status; read 2; write data; "},
      {"x", {{"\x13", kD2xxIoError}, {"\x11", 7}, {"\x11", kD2xxIoError}},  // status 4 counts when bytes came
       "status; read 1; status; read 1; status; read 1; write x; "},
      {"x", {{std::string(1000, '\x13')}, {"\x11"}}, "status; read 600; status; read 1; write x; "}};
  ASSERT_TRUE(port.Open(test::Args("USB")));
  for (const auto& [text, blocks, trace] : cases) {
    bridge.calls.clear();
    bridge.blocks = blocks;
    ASSERT_TRUE(port.WriteText(text));
    EXPECT_EQ(bridge.calls, trace);
  }
  const std::int64_t stopAt = host.now + 60'000;
  port.SetCancelCheck([&] { return host.now >= stopAt; });  // STOP pressed after a minute in XOFF
  bridge.calls.clear();
  bridge.blocks = {{"\x13"}};
  EXPECT_FALSE(Said(host, port.Write("x", 1)));
  // The checks sleep in short steps, nothing is written while stopped, and STOP is no error.
  EXPECT_TRUE(host.now < stopAt + 2 * UsbBackend::kPermissionStepMs && bridge.calls.find("write") == std::string::npos &&
              Shown(host).empty()) << host.now - stopAt << " " << bridge.calls << Shown(host);
}

TEST_F(UsbFixture, AFailedQueueStatusWithholdsPermissionAndABridgeFoundGoneEndsTheWriteOnce) {
  ASSERT_TRUE(port.Open(test::Args("USB")));
  bridge.calls.clear();
  bridge.queueStatuses = {kD2xxIoError, 7, kD2xxOk};
  ASSERT_TRUE(port.WriteText("a"));
  EXPECT_EQ(bridge.calls, "status; status; status; write a; ");
  bridge.calls.clear();
  bridge.queueStatuses = {kD2xxIoError, kD2xxDeviceNotFound, kD2xxOk};
  EXPECT_FALSE(Said(host, port.WriteText("bc")) || Said(host, port.WriteText("d")));
  // Nothing is asked of a bridge that has gone.
  EXPECT_EQ(bridge.calls + "| " + Shown(host), "status; status; | error: USB device write error #02\n0 of 2 bytes were sent.\n");
}

TEST(FilePort, EveryOpenAsksForTheFileAndTruncatesItCancelIsSilentAndFailuresAreReportedPlainOnce) {
  test::FakeHost host;
  test::TempDir dir;
  CDevicePort port(host, PortEnvironment{});
  PortOpenArgs args = test::Args("FILE");
  args.outputName = args.fallbackOutputName = "fontext.out";
  const std::string path = dir.Write("out.out", "old contents that are longer"), held = dir.Write("held.out", "keep");
  const std::string bytes("\r\n\x1a\n\x00\xff", 6);  // binary: no CR LF or ^Z handling
#ifdef _WIN32
  const HANDLE other = ::CreateFileA(held.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(other, INVALID_HANDLE_VALUE);
#else
  const int other = ::open(held.c_str(), O_WRONLY);
  ASSERT_EQ(::flock(other, LOCK_EX), 0);
#endif
  host.savePaths = {path, path, std::nullopt, dir.File("missing/folder/x.out"), held};
  ASSERT_TRUE(port.Open(args) && port.Write(bytes.data(), bytes.size()));
#ifdef _WIN32
  // While the port holds the file, no other program may write it.
  EXPECT_EQ(::CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                          nullptr),
            INVALID_HANDLE_VALUE);
  EXPECT_EQ(::GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
#endif
  ASSERT_TRUE(port.Close());
  EXPECT_EQ(test::ReadFile(path), bytes);
  ASSERT_TRUE(port.Open(args) && port.Close());
  EXPECT_EQ(test::ReadFile(path), "") << "every open truncates";
  EXPECT_FALSE(Said(host, port.Open(args)) || port.Write("a", 1) || !Shown(host).empty()) << "a cancelled dialog is silent";
  EXPECT_FALSE(Said(host, port.Open(args)) || Said(host, port.Open(args)));
#ifdef _WIN32
  ::CloseHandle(other);
#else
  ::close(other);
#endif
  EXPECT_EQ(test::ReadFile(held), "keep") << "a file another writer holds is not truncated";
  std::string shown = "plain: Error opening output file(Q)\nplain: Error opening output file(Q)\n";
  std::size_t opens = 5;
#ifndef _WIN32
  host.savePaths = {"/dev/full"};
  ASSERT_TRUE(port.Open(args));
  EXPECT_FALSE(Said(host, port.Write("abc", 3)) || Said(host, port.Write("abc", 3)));
  shown += "plain: Error writing output file /dev/full:\nNo space left on device\n";
  ++opens;
#endif
  EXPECT_EQ(Shown(host), shown);
  ASSERT_EQ(host.saveRequests.size(), opens);
  for (const auto& r : host.saveRequests)
    EXPECT_TRUE(r.suggestedName == "fontext.out" && r.defaultExtension == "out" && r.overwritePrompt && r.pathMustExist);
}

}  // namespace
}  // namespace corvelle
