// SPDX-License-Identifier: MIT
// The TCP port probe against ports the test makes on 127.0.0.1: one that accepts, one with
// nothing listening, and one whose queue is full so that the connect gets no answer.
#include <gtest/gtest.h>

#include <cerrno>

#include "ports/PortProbe.h"
#include "support/FakeHost.h"
#include "support/Loopback.h"

namespace corvelle {
namespace {

TEST(PortProbe, TellsAcceptedRefusedAndSilentPortsApartInWords) {
  test::FakeHost host;
  const test::LoopbackPort listening(4);
  ASSERT_NE(listening.port, 0);
  const PortProbeResult accepted = ProbeTcpPort(host, "127.0.0.1", listening.port);
  EXPECT_EQ(accepted.answer, PortAnswer::Accepts);
  EXPECT_EQ(PortProbeText(4001, accepted), "port 4001 accepts connections");

  const test::LoopbackPort bound;  // never listening: the kernel refuses
  const PortProbeResult refused = ProbeTcpPort(host, "127.0.0.1", bound.port);
  EXPECT_EQ(refused.answer, PortAnswer::Refuses);
  EXPECT_EQ(PortProbeText(4001, refused), "port 4001 refused the connection");

  const test::SilentPort full;
  const std::int64_t start = host.now;
  const PortProbeResult silent = ProbeTcpPort(host, "127.0.0.1", full.listener.port, 400);
  EXPECT_EQ(silent.answer, PortAnswer::Silent);
  EXPECT_GE(host.now - start, 400);
  EXPECT_LT(host.now - start, 1000);  // given up at the limit, not at the socket's own 30 s
  EXPECT_EQ(PortProbeText(4001, silent, 400), "port 4001 did not answer within 1 s");
  EXPECT_EQ(PortProbeText(4001, silent), "port 4001 did not answer within 3 s");
}

TEST(PortProbe, RefusesPortsOutOfRangeWithoutConnecting) {
  test::FakeHost host;
  for (const int port : {0, -1, 65536}) {
    const PortProbeResult result = ProbeTcpPort(host, "127.0.0.1", port);
    EXPECT_EQ(result.answer, PortAnswer::Unreachable) << port;
    EXPECT_EQ(PortProbeText(port, result), "port " + std::to_string(port) + " is not a TCP port (1 to 65535)");
  }
  EXPECT_EQ(host.fdWaits, 0);
  EXPECT_EQ(PortProbeText(4001, {PortAnswer::Unreachable, ENETUNREACH}),
            "port 4001 cannot be reached (Network is unreachable)");
}

TEST(PortProbe, StopEndsTheWaitAtOnce) {
  test::FakeHost host;
  const test::SilentPort full;
  bool stop = false;
  host.At(100, [&] { stop = true; });
  const PortProbeResult stopped = ProbeTcpPort(host, "127.0.0.1", full.listener.port, 3000, [&] { return stop; });
  EXPECT_EQ(stopped.answer, PortAnswer::Stopped);
  EXPECT_LT(host.now, 300);
  EXPECT_EQ(PortProbeText(4001, stopped), "the port test was stopped");
  // Asked to stop before it starts, it makes no connection at all.
  EXPECT_EQ(ProbeTcpPort(host, "127.0.0.1", full.listener.port, 3000, [] { return true; }).answer,
            PortAnswer::Stopped);
}

}  // namespace
}  // namespace corvelle
