// SPDX-License-Identifier: MIT
// The TCP/IP kind against a listening socket on 127.0.0.1 that the test plays the printer on;
// the reachability test is replaced, so nothing but loopback is ever contacted.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <functional>
#include <string>
#include <utility>

#include "base/UniqueFd.h"
#include "ports/ClientSocket.h"
#include "ports/DevicePort.h"
#include "ports/PortKit.h"
#include "ports/TcpBackend.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

const char* const kClosed = "plain: TCP/IP - The printer closed the connection.\nThe transfer was stopped.\n";

struct TcpFixture : ::testing::Test {
  void SetUp() override {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    const timeval limit{2, 0};  // for accepting, and for reading on the accepted connections
    const int fd = listener.Get();
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), length) + ::listen(fd, 4) +
                  ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) +
                  ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit),
              0);
    args.ipAddress = "127.0.0.1";
    args.ipPort = ntohs(address.sin_port);
  }
  // The printer's end of the connection the port made (invalid when none came).
  UniqueFd Accept() { return UniqueFd(::accept4(listener.Get(), nullptr, nullptr, SOCK_CLOEXEC)); }
  // Up to `count` bytes from the printer's end: what arrives before the time limit.
  static std::string Read(const UniqueFd& fd, std::size_t count, int flags = MSG_WAITALL) {
    std::string got(count, '\0');
    got.resize(static_cast<std::size_t>(std::max(0L, ::recv(fd.Get(), got.data(), count, flags))));
    return got;
  }
  UniqueFd listener{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
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
  const UniqueFd printer = Accept();
  const std::string part(4095, 'a');
  ASSERT_TRUE(port.Write(part.data(), part.size()));
  EXPECT_EQ(Read(printer, 1, MSG_DONTWAIT), "");
  ASSERT_TRUE(port.WriteText("b"));
  EXPECT_EQ(Read(printer, 4096), part + "b");
  std::string rest(10000, '\0');
  for (std::size_t i = 0; i < rest.size(); ++i) rest[i] = static_cast<char>(i % 7 ? i : 0);
  ASSERT_TRUE(port.Write(rest.data(), rest.size()));
  EXPECT_TRUE(port.Close());
  EXPECT_TRUE(Read(printer, rest.size()) == rest);
  EXPECT_EQ(probed, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(Shown(host), "");
}

// A printer whose acknowledgements come late (later than the whole 10 s of fake time the wait
// takes) but that closes when the stream ends: the end of the output goes right behind the last
// bytes, so its close acknowledges them, and the area's last wait ends there, a success.
TEST_F(TcpFixture, APrinterThatAcknowledgesLateIsDoneWhenItClosesAtTheEndOfTheStream) {
  ASSERT_TRUE(port.Open(args));
  UniqueFd printer = Accept();
  const int off = 0;
  ASSERT_EQ(::setsockopt(printer.Get(), IPPROTO_TCP, TCP_QUICKACK, &off, sizeof off), 0);
  std::string arrived;
  std::function<void()> readToEnd = [&] {
    char bytes[512];
    ssize_t n = 0;
    while ((n = ::recv(printer.Get(), bytes, sizeof bytes, MSG_DONTWAIT)) > 0) arrived.append(bytes, n);
    if (n == 0) printer = UniqueFd();
    if (printer.Get() >= 0) host.At(host.now + 1, readToEnd);
  };
  host.At(host.now + 1, readToEnd);
  ASSERT_TRUE(port.WriteText("the last bytes of an area"));
  EXPECT_TRUE(port.FinishOutput());
  EXPECT_TRUE(port.Close());
  EXPECT_EQ(arrived, "the last bytes of an area");
  EXPECT_EQ(Shown(host), "");
}

TEST_F(TcpFixture, DataThePrinterSendsIsCountedWithZerosAsOneAndTheTextCapped) {
  ASSERT_TRUE(port.Open(args));
  const UniqueFd printer = Accept();
  std::string flood(200000, '\0');
  for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<char>(i % 3 == 1 ? 0 : 'A' + i % 26);
  const CClientSocket& socket = *static_cast<TcpBackend*>(port.Backend())->Socket();
  for (std::size_t i = 0, sent = 0; i < 5000 && socket.ReceivedCount() < 200000; ++i, ::usleep(200)) {
    sent += std::max(0L, ::send(printer.Get(), flood.data() + sent, flood.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT));
    port.PumpMessages();
  }
  EXPECT_EQ(socket.ReceivedCount(), 200000);
  std::string kept = flood.substr(flood.size() - CClientSocket::kReceivedTextLimit);
  std::replace(kept.begin(), kept.end(), '\0', '\x01');
  EXPECT_TRUE(socket.ReceivedText() == kept);
}

TEST_F(TcpFixture, AnAddressThatDoesNotAnswerIsNotConnectedAndARefusalShowsItsNumber) {
  answers = false;
  EXPECT_FALSE(port.Open(args));
  pollfd p{listener.Get(), POLLIN, 0};
  EXPECT_EQ(::poll(&p, 1, 30), 0) << "no connection was made";
  // Without the echo test (a site that drops ICMP) the silent address is connected to at once.
  args.echoTest = false;
  ASSERT_TRUE(port.Open(args));
  EXPECT_TRUE(Accept().Valid());
  port.Close();
  EXPECT_EQ(probed.size(), 1u) << "no echo was asked for";
  args.echoTest = true;
  answers = true;
  listener = UniqueFd();
  EXPECT_FALSE(port.Open(args));
  args.echoTest = false;
  EXPECT_FALSE(port.Open(args)) << "the connect's refusal decides";
  EXPECT_EQ(Shown(host), "plain: TCP/IP device is not responding\n"
                         "plain: TPC/IP - Failed to connect.\nWait a moment and retry !\nError nr.  111.\n"
                         "plain: TPC/IP - Failed to connect.\nWait a moment and retry !\nError nr.  111.\n");
}

TEST_F(TcpFixture, APrinterThatGoesAwayMidStreamOrBeforeTakingTheLastBytesIsReportedOnce) {
  ASSERT_TRUE(port.Open(args));
  const std::string chunk(4096, 'c');
  int writes = 0;
  for (; writes < 20000 && port.Write(chunk.data(), chunk.size()); ++writes) {
    if (writes == 10) Accept();  // the printer's end goes at once
  }
  EXPECT_LT(writes, 20000) << "the writes stopped";
  EXPECT_FALSE(port.Write(chunk.data(), chunk.size()));
  EXPECT_FALSE(port.Close());
  EXPECT_EQ(Shown(host), kClosed);
  // A printer that resets the connection with bytes it never read: the loss shows at close.
  ASSERT_TRUE(port.Open(args));
  UniqueFd printer = Accept();
  ASSERT_TRUE(port.Write(chunk.data(), chunk.size()));
  ASSERT_EQ(Read(printer, 1, MSG_PEEK), "c");
  printer = UniqueFd();
  EXPECT_FALSE(port.Close());
  EXPECT_EQ(Shown(host), std::string(kClosed) + kClosed);
}

// The download's socket lingers 10 s with a large send buffer. A printer with a small receive
// window that reads slowly takes far longer than 10 s for an area: the drain and the close wait
// as long as the unsent count keeps falling, and every byte arrives. One that stops reading fails
// 10 s after the last byte it took, instead of a success. The printer's reads run on the fake
// clock inside the port's own waits, so the test takes a fraction of a second.
TEST_F(TcpFixture, ASlowPrinterIsWaitedForWhileItTakesBytesAndOneThatStopsFailsTenSecondsLater) {
  const int smallWindow = 4096;
  ASSERT_EQ(::setsockopt(listener.Get(), SOL_SOCKET, SO_RCVBUF, &smallWindow, sizeof smallWindow), 0);
  ASSERT_TRUE(port.Open(args));
  const UniqueFd printer = Accept();
  const int fd = static_cast<TcpBackend*>(port.Backend())->Socket()->Descriptor();
  linger lingering{};
  int sendBuffer = 0;
  socklen_t length = sizeof lingering;
  ASSERT_EQ(::getsockopt(fd, SOL_SOCKET, SO_LINGER, &lingering, &length), 0);
  EXPECT_EQ(std::pair(lingering.l_onoff, lingering.l_linger), std::pair(1, 10));
  length = sizeof sendBuffer;
  ASSERT_EQ(::getsockopt(fd, SOL_SOCKET, SO_SNDBUF, &sendBuffer, &length), 0);
  // The kernel caps the request at net.core.wmem_max and reports twice what it keeps.
  const long cap = std::stol(test::ReadFile("/proc/sys/net/core/wmem_max"));
  EXPECT_EQ(sendBuffer, 2 * std::min(2L << 20, cap));

  // 16 KiB every 2 s of fake time: 256 KiB take more than 30 s, six times the linger.
  std::string image(256 * 1024, '\0');
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<char>(i * 13 / 7);
  std::string arrived;
  std::size_t stopAfter = image.size();
  std::function<void()> readSome = [&] {
    ::usleep(2000);  // lets loopback deliver and acknowledge
    if (arrived.size() < stopAfter) arrived += Read(printer, std::min<std::size_t>(16384, stopAfter - arrived.size()), MSG_DONTWAIT);
    host.At(host.now + 2000, readSome);
  };
  host.At(2000, readSome);
  // What the port holds counts every byte sent since it was last asked.
  ASSERT_TRUE(port.Write(image.data(), 4096));
  EXPECT_LE(port.QueuedOutput(), 4096);
  ASSERT_TRUE(port.Write(image.data() + 4096, image.size() - 4096));
  EXPECT_GT(port.QueuedOutput(), 200 * 1024) << "the printer has taken almost nothing yet";
  EXPECT_TRUE(port.DrainOutput());
  EXPECT_EQ(port.QueuedOutput(), 0);
  EXPECT_GT(host.now, 3 * TcpBackend::kLingerMs);
  EXPECT_TRUE(port.Close());
  EXPECT_TRUE(arrived == image);
  EXPECT_EQ(Shown(host), "");

  // The same printer stops reading after 64 KiB.
  ASSERT_TRUE(port.Open(args));
  const UniqueFd second = Accept();
  arrived.clear();
  stopAfter = 64 * 1024;
  std::int64_t lastRead = 0;
  readSome = [&] {
    ::usleep(2000);
    if (arrived.size() < stopAfter) {
      arrived += Read(second, std::min<std::size_t>(16384, stopAfter - arrived.size()), MSG_DONTWAIT);
      lastRead = host.now;
    }
    host.At(host.now + 2000, readSome);
  };
  host.At(host.now + 2000, readSome);
  ASSERT_TRUE(port.Write(image.data(), image.size()));
  EXPECT_FALSE(port.Close());
  EXPECT_EQ(arrived.size(), stopAfter);
  EXPECT_GE(host.now - lastRead, TcpBackend::kLingerMs) << "the close waited out the linger after the last byte left";
  EXPECT_LT(host.now - lastRead, TcpBackend::kLingerMs + 2500);
  EXPECT_EQ(Shown(host), "plain: TCP/IP - Sending to the printer failed: Connection timed out.\nThe transfer was stopped.\n");
}

}  // namespace
}  // namespace corvelle
