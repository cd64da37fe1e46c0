// SPDX-License-Identifier: MIT
// The echo probe on Windows, only ever on 127.0.0.0/8: both ways of sending (the raw ICMP socket
// and the system's echo service) are answered, STOP ends the probe and is never taken for an
// answer, and the wait both share ends on the stop event. Loopback always answers, so STOP in the
// middle of a wait is tested on the wait itself.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <chrono>
#include <thread>
#include <tuple>

#include "base/StopSignal.h"
#include "ports/PortEnvironment.h"
#include "ports/echo/EchoProbe.h"
#include "ports/echo/win/EchoSocketWin.h"
#include "base/win/Winsock.h"
#include "windows/CliProcess.h"

namespace corvelle {
namespace {

std::uint32_t Loopback(int last) { return htonl(0x7F000000u | static_cast<std::uint32_t>(last)); }

win::EchoRequest Request(int last, std::int32_t payload = 32) {
  win::EchoRequest request;
  request.destination.sin_family = AF_INET;
  request.destination.sin_addr.s_addr = Loopback(last);
  request.ttl = 10;
  request.payload = payload;
  request.timeoutMs = 5000;
  return request;
}

EchoProbeOptions Sized(std::int32_t payload) {
  EchoProbeOptions options;
  options.dataSize = payload;
  return options;
}

// Whether this process may open a raw ICMP socket (Wine: when run as root).
bool RawSocketsPermitted() {
  EXPECT_EQ(win::WinsockReady(), 0);
  const SOCKET s = ::WSASocketW(AF_INET, SOCK_RAW, IPPROTO_ICMP, nullptr, 0, 0);
  if (s == INVALID_SOCKET) return false;
  ::closesocket(s);
  return true;
}

// The raw socket's way through the probe, and the system's echo service as a process without raw
// sockets uses it (1024 is the longest payload sent); another loopback address answers as itself.
TEST(WindowsEcho, BothWaysOfSendingAreAnsweredByTheProbedLoopbackAddressAtEveryPayloadEdge) {
  const bool raw = RawSocketsPermitted();  // under Wine: when run as root
  for (const auto& [address, size, service] : {std::tuple{1, 0, false}, {1, 32, false}, {1, 2000, false},
                                               {2, 32, false}, {1, 0, true}, {1, 32, true}, {1, 1024, true}}) {
    if (!service && !raw) continue;
    const auto reply = service ? win::ProbeThroughIcmpService(Request(address, size), kNoStopHandle)
                               : CEchoProbe().Probe("127.0.0." + std::to_string(address), Sized(size));
    ASSERT_TRUE(reply) << size << ": " << EchoProbeErrorText(reply.Failure().system);
    EXPECT_EQ(reply->responderAddress, Loopback(address));
    EXPECT_LT(reply->roundTripMs, 5000u);
  }
  // A negative size is refused before anything is sent, whichever way.
  EXPECT_EQ(CEchoProbe().Probe("127.0.0.1", Sized(-1)).Failure().system, EINVAL);
  if (!raw) GTEST_SKIP() << "the raw socket's way needs a raw ICMP socket, which this user may not open";
  EXPECT_EQ(ProbeReachability("127.0.0.1", kNoStopHandle), 0);
}

TEST(WindowsEcho, AStopRaisedBeforehandEndsEitherWayAtOnceAndIsNeverAnAnswer) {
  StopSignal stop;
  stop.Raise();
  const NativeHandle handle = ProbeStopHandle(&stop);
  ASSERT_NE(handle, kNoStopHandle);
  EXPECT_LT(test::MsOf([&] {
    for (const bool service : {false, true}) {
      if (!service && !RawSocketsPermitted()) continue;
      const auto reply = service ? win::ProbeThroughIcmpService(Request(1), handle) : CEchoProbe(handle).Probe("127.0.0.1");
      EXPECT_FALSE(reply) << "a stopped probe is never an answer";
      EXPECT_TRUE(reply.Failure().Stopped());
      EXPECT_EQ(reply.Failure().system, ECANCELED);
      EXPECT_EQ(service ? ECANCELED : ProbeReachability("127.0.0.1", handle), ECANCELED);
    }
  }), 1'000);
}

TEST(WindowsEcho, TheProbesWaitEndsOnTheStopEventRaisedWhileItWaitsAndOtherwiseAtItsLimit) {
  const HANDLE never = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(never, nullptr);
  StopSignal stop;
  const auto wait = [&](int ms) { return win::WaitForEchoEvent(never, ms, ProbeStopHandle(&stop)); };
  EXPECT_GE(test::MsOf([&] { EXPECT_EQ(wait(50), win::EchoWait::TimedOut); }), 40);
  EXPECT_EQ(win::WaitForEchoEvent(never, 50, kNoStopHandle), win::EchoWait::TimedOut);
  std::jthread raiser = test::After(100, [&stop] { stop.Raise(); });
  EXPECT_LT(test::MsOf([&] { EXPECT_EQ(wait(5000), win::EchoWait::Stopped); }), 1'000);
  raiser.join();
  // A reply and STOP at once: STOP wins, so a stopped probe is never a success.
  ::SetEvent(never);
  EXPECT_EQ(wait(5000), win::EchoWait::Stopped);
  stop.Clear();
  EXPECT_EQ(wait(5000), win::EchoWait::Ready);
  ::CloseHandle(never);
}

}  // namespace
}  // namespace corvelle
