// The TCP/IP kind against a listening socket on 127.0.0.1 that the test plays the printer on;
// the reachability test is replaced, so nothing but loopback is ever contacted.
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "ports/ClientSocket.h"
#include "ports/DevicePort.h"
#include "ports/PortKit.h"
#include "ports/TcpBackend.h"

namespace corvelle {
namespace {

struct TcpFixture : ::testing::Test {
  void SetUp() override {
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t length = sizeof address;
    ASSERT_EQ(::bind(listener, reinterpret_cast<sockaddr*>(&address), length), 0);
    ASSERT_EQ(::listen(listener, 4) + ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length), 0);
    args.ipAddress = "127.0.0.1";
    args.ipPort = ntohs(address.sin_port);
    env.reachable = [this](const std::string& address) { return probed.push_back(address), answers; };
  }
  void TearDown() override { ::close(listener); }
  // The printer's end of the connection the port made (reads on it wait at most 2 s), or -1
  // when none came within `ms`.
  int Accept(int ms = 2000) {
    pollfd p{listener, POLLIN, 0};
    const int fd = ::poll(&p, 1, ms) > 0 ? ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC) : -1;
    const timeval limit{2, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
  }
  // Up to `count` bytes from the printer's end: what arrives before the time limit.
  static std::string Read(int fd, std::size_t count, int flags = MSG_WAITALL) {
    std::string got(count, '\0');
    got.resize(static_cast<std::size_t>(std::max(0L, ::recv(fd, got.data(), count, flags))));
    return got;
  }
  int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  PortOpenArgs args = test::Args("TCP/IP");
  std::vector<std::string> probed;
  bool answers = true;
  PortEnvironment env;
  test::FakeHost host;
};

TEST_F(TcpFixture, BytesLeaveExactlyInBlocksOf4096AndTheRestAtCloseOnATestedConnection) {
  CDevicePort port(host, env);
  ASSERT_TRUE(port.Open(args));
  const int printer = Accept();
  const std::string part(4095, 'a');
  ASSERT_TRUE(port.Write(part.data(), part.size()));
  EXPECT_EQ(Read(printer, 1, MSG_DONTWAIT), "");
  ASSERT_TRUE(port.WriteText("b"));
  EXPECT_EQ(Read(printer, 4096), part + "b");
  std::string rest(10000, '\0');
  for (std::size_t i = 0; i < rest.size(); ++i) rest[i] = static_cast<char>(i % 7 ? i : 0);
  ASSERT_TRUE(port.Write(rest.data(), rest.size()));
  port.Close();
  EXPECT_TRUE(Read(printer, rest.size()) == rest);
  ::close(printer);
  EXPECT_EQ(probed, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(Shown(host), "");
}

TEST_F(TcpFixture, AnAddressThatDoesNotAnswerIsNotConnectedAndARefusalShowsItsNumber) {
  answers = false;
  CDevicePort port(host, env);
  EXPECT_FALSE(port.Open(args));
  EXPECT_EQ(Accept(30), -1);
  answers = true;
  ::close(listener);
  listener = -1;
  EXPECT_FALSE(port.Open(args));
  EXPECT_FALSE(port.Write("a", 1));
  EXPECT_EQ(Shown(host), "plain: TCP/IP device is not responding\n"
                         "plain: TPC/IP - Failed to connect.\nWait a moment and retry !\nError nr.  111.\n");
}

TEST_F(TcpFixture, APrinterThatClosesMidStreamStopsTheTransferWithOneMessage) {
  CDevicePort port(host, env);
  ASSERT_TRUE(port.Open(args));
  const std::string chunk(512, 'c');
  bool stopped = false;
  for (int i = 0; i < 200000 && !stopped; ++i) {
    if (i == 100) ::close(Accept());
    stopped = !port.Write(chunk.data(), chunk.size());
  }
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(port.Write(chunk.data(), chunk.size()));
  port.Close();
  EXPECT_EQ(Shown(host), "plain: TCP/IP - The printer closed the connection.\nThe transfer was stopped.\n");
}

TEST_F(TcpFixture, DataThePrinterSendsIsCountedWithZerosAsOneAndTheTextCapped) {
  constexpr std::int64_t kFlood = 200000;
  std::string flood(kFlood, '\0');
  for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = i % 3 == 1 ? '\0' : static_cast<char>('A' + i % 26);
  CDevicePort port(host, env);
  ASSERT_TRUE(port.Open(args));
  const int printer = Accept();
  const CClientSocket& socket = *static_cast<TcpBackend*>(port.Backend())->Socket();
  for (std::size_t i = 0, sent = 0; i < 5000 && socket.ReceivedCount() < kFlood; ++i, ::usleep(200)) {
    sent += std::max(0L, ::send(printer, flood.data() + sent, flood.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT));
    port.PumpMessages();
  }
  EXPECT_EQ(socket.ReceivedCount(), kFlood);
  std::string kept = flood.substr(flood.size() - CClientSocket::kReceivedTextLimit);
  std::replace(kept.begin(), kept.end(), '\0', '\x01');
  EXPECT_TRUE(socket.ReceivedText() == kept);
  EXPECT_TRUE(port.WriteText("still sending"));
  port.Close();
  EXPECT_EQ(Read(printer, 13), "still sending");
  ::close(printer);
}

}  // namespace
}  // namespace corvelle
