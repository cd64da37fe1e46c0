// SPDX-License-Identifier: MIT
// The Windows waits beside the stop signal: a socket's readiness, an event, a pause, STOP from
// another thread or from the console's Ctrl-C, all over loopback sockets; and corvelle-cli's
// host, whose responsive waits the console's Ctrl-C ends while one STOP may not end runs on.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <thread>

#include "base/win/ConsoleStop.h"
#include "base/win/HandleWait.h"
#include "cli/TerminalHost.h"
#include "support/Elapsed.h"
#include "windows/CliProcess.h"
#include "support/LoopbackPrinter.h"

namespace corvelle::win {
namespace {

using test::MsOf;
using test::SocketPair;

SOCKET Socket(const test::PrinterEnd& end) { return static_cast<SOCKET>(end.Handle()); }

TEST(WindowsWait, ASocketIsReadableOnceDataOrTheEndArrivesAndNotBefore) {
  SocketPair pair;
  ASSERT_TRUE(pair.peer.Valid());
  const auto readable = [&](int ms) { return WaitForSocket(pair.mine.Handle(), FdEvent::Readable, ms, nullptr); };
  EXPECT_EQ(readable(50), WaitResult::TimedOut);
  std::jthread sender = test::After(50, [&] { pair.peer.SendSome("x"); });
  EXPECT_LT(MsOf([&] { EXPECT_EQ(readable(10'000), WaitResult::Ready); }), 5'000);
  sender.join();
  char byte = 0;
  ASSERT_EQ(::recv(Socket(pair.mine), &byte, 1, 0), 1);
  EXPECT_EQ(readable(0), WaitResult::TimedOut);
  pair.peer = test::PrinterEnd();
  EXPECT_EQ(readable(10'000), WaitResult::Ready);
}

TEST(WindowsWait, ASocketThatRefusedASendWakesTheWriterOnceThePeerReads) {
  SocketPair pair;
  const int small = 4096;
  ::setsockopt(Socket(pair.mine), SOL_SOCKET, SO_SNDBUF, reinterpret_cast<const char*>(&small), sizeof small);
  ::setsockopt(Socket(pair.peer), SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&small), sizeof small);
  EXPECT_EQ(WaitForSocket(pair.mine.Handle(), FdEvent::Writable, 1'000, nullptr), WaitResult::Ready);
  const std::string block(4096, 'b');
  long sent = 0;
  for (int n; sent < (64L << 20) && (n = ::send(Socket(pair.mine), block.data(), 4096, 0)) > 0;) sent += n;
  ASSERT_EQ(::WSAGetLastError(), WSAEWOULDBLOCK);
  // Whether the loopback already counts the socket writable again here is up to the system, so
  // only the wake-up after the refused send is checked: the edge FD_WRITE waits for.
  std::thread reader([&] {
    char buffer[65536];
    long got = 0;
    for (int n; got < sent && (n = ::recv(Socket(pair.peer), buffer, sizeof buffer, 0)) > 0;) got += n;
  });
  EXPECT_EQ(WaitForSocket(pair.mine.Handle(), FdEvent::Writable, 10'000, nullptr), WaitResult::Ready);
  ::shutdown(Socket(pair.mine), SD_SEND);
  reader.join();
}

TEST(WindowsWait, StopEndsEveryKindOfWaitAtOnceAndClearingItLetsTheNextWaitRun) {
  SocketPair pair;
  StopSignal stop;
  ASSERT_NE(stop.Handle(), kNoHandle);
  const auto readable = [&](int ms) { return WaitForSocket(pair.mine.Handle(), FdEvent::Readable, ms, &stop); };
  std::jthread raiser = test::After(50, [&] { stop.Raise(); });
  EXPECT_LT(MsOf([&] { EXPECT_EQ(readable(10'000), WaitResult::Stopped); }), 1'000);
  raiser.join();
  // Raised beforehand, a stop ends the wait before it starts, even when the socket is ready.
  pair.peer.SendSome("x");
  EXPECT_EQ(readable(10'000), WaitResult::Stopped);
  EXPECT_EQ(PauseUnlessStopped(10'000, &stop), WaitResult::Stopped);
  const HANDLE never = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  const auto object = reinterpret_cast<NativeHandle>(never);
  EXPECT_EQ(WaitForObject(object, 10'000, &stop), WaitResult::Stopped);
  stop.Clear();
  EXPECT_EQ(WaitForObject(object, 20, &stop), WaitResult::TimedOut);
  EXPECT_EQ(PauseUnlessStopped(20, &stop), WaitResult::TimedOut);
  EXPECT_EQ(readable(1'000), WaitResult::Ready);
  ::SetEvent(never);
  EXPECT_EQ(WaitForObject(object, 1'000, &stop), WaitResult::Ready);
  ::CloseHandle(never);
}

TEST(WindowsConsoleStop, CtrlCBreakAndCloseRaiseTheStopOnlyWhileInstalled) {
  StopSignal stop;
  {
    const ConsoleStop console(stop);
    EXPECT_TRUE(console.Installed());
    EXPECT_FALSE(ConsoleStop::Handle(99));
    EXPECT_FALSE(stop.Raised());
    for (const DWORD type : {CTRL_C_EVENT, CTRL_BREAK_EVENT, CTRL_CLOSE_EVENT}) {
      stop.Clear();
      EXPECT_TRUE(ConsoleStop::Handle(type)) << type;
      EXPECT_TRUE(stop.Raised()) << type;
      EXPECT_EQ(::WaitForSingleObject(reinterpret_cast<HANDLE>(stop.Handle()), 0), WAIT_OBJECT_0) << type;
    }
  }
  stop.Clear();
  EXPECT_FALSE(ConsoleStop::Handle(CTRL_C_EVENT));
  EXPECT_FALSE(stop.Raised());
}

TEST(WindowsTerminalHost, CtrlCEndsAResponsivePauseAtOnceButNotOneThatStopMayNotEnd) {
  cli::TerminalHost host;
  EXPECT_FALSE(host.Interrupted());
  std::jthread console = test::After(100, [] { EXPECT_TRUE(ConsoleStop::Handle(CTRL_C_EVENT)); });
  EXPECT_LT(MsOf([&] { host.WaitFor(20'000); }), 1'000);
  console.join();
  EXPECT_TRUE(host.Interrupted());
  EXPECT_TRUE(host.StopRequested());
  // Once raised, every later responsive wait returns at once; one STOP may not end still runs.
  EXPECT_LT(MsOf([&] { host.WaitFor(20'000); }), 1'000);
  EXPECT_GE(MsOf([&] { host.WaitFor(200, WaitMode::PaintOnly); }), 190);
}

}  // namespace
}  // namespace corvelle::win
