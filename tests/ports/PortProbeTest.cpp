// SPDX-License-Identifier: MIT
// The TCP port probe against listeners the test makes on 127.0.0.1: one that accepts, a port
// with nothing on it, and one whose queue is full so that the connect gets no answer.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <cerrno>
#include <vector>

#include "base/UniqueFd.h"
#include "ports/PortProbe.h"
#include "support/FakeHost.h"

namespace corvelle {
namespace {

// A socket bound to a free loopback port, listening with `backlog` when asked to.
struct Loopback {
  explicit Loopback(int backlog = -1) {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    EXPECT_EQ(::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), length), 0);
    if (backlog >= 0) {
      EXPECT_EQ(::listen(fd.Get(), backlog), 0);
    }
    EXPECT_EQ(::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length), 0);
    port = ntohs(address.sin_port);
  }
  UniqueFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  int port = 0;
};

// Connection requests that fill the queue of a listener with backlog 0, so that the next one
// gets no answer.
std::vector<UniqueFd> FillQueue(int port) {
  std::vector<UniqueFd> fillers;
  for (int i = 0; i < 3; ++i) {
    fillers.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    sockaddr_in to{AF_INET, htons(static_cast<std::uint16_t>(port)), {htonl(INADDR_LOOPBACK)}, {}};
    ::connect(fillers.back().Get(), reinterpret_cast<sockaddr*>(&to), sizeof to);
  }
  return fillers;
}

TEST(PortProbe, TellsAcceptedRefusedAndSilentPortsApartInWords) {
  test::FakeHost host;
  const Loopback listening(4);
  const PortProbeResult accepted = ProbeTcpPort(host, "127.0.0.1", listening.port);
  EXPECT_EQ(accepted.answer, PortAnswer::Accepts);
  EXPECT_EQ(PortProbeText(4001, accepted), "port 4001 accepts connections");

  const Loopback bound;  // bound, never listening: the kernel refuses
  const PortProbeResult refused = ProbeTcpPort(host, "127.0.0.1", bound.port);
  EXPECT_EQ(refused.answer, PortAnswer::Refuses);
  EXPECT_EQ(PortProbeText(4001, refused), "port 4001 refused the connection");

  // A listener whose queue is full drops further connection requests unanswered.
  const Loopback full(0);
  const std::vector<UniqueFd> fillers = FillQueue(full.port);
  const std::int64_t start = host.now;
  const PortProbeResult silent = ProbeTcpPort(host, "127.0.0.1", full.port, 400);
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
  EXPECT_EQ(PortProbeText(4001, {PortAnswer::Unreachable, ENETUNREACH}), "port 4001 cannot be reached (Network is unreachable)");
}

TEST(PortProbe, StopEndsTheWaitAtOnce) {
  test::FakeHost host;
  const Loopback full(0);
  const std::vector<UniqueFd> fillers = FillQueue(full.port);
  bool stop = false;
  host.At(100, [&] { stop = true; });
  const PortProbeResult stopped = ProbeTcpPort(host, "127.0.0.1", full.port, 3000, [&] { return stop; });
  EXPECT_EQ(stopped.answer, PortAnswer::Stopped);
  EXPECT_LT(host.now, 300);
  EXPECT_EQ(PortProbeText(4001, stopped), "the port test was stopped");
  // Asked to stop before it starts, it makes no connection at all.
  EXPECT_EQ(ProbeTcpPort(host, "127.0.0.1", full.port, 3000, [] { return true; }).answer, PortAnswer::Stopped);
}

}  // namespace
}  // namespace corvelle
