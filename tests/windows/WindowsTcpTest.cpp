// SPDX-License-Identifier: MIT
// The TCP/IP kind over Winsock against a listening socket on 127.0.0.1 that the test plays the
// printer on; the reachability test is replaced, so nothing but loopback is ever contacted.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <utility>

#include "ports/ClientSocket.h"
#include "ports/DevicePort.h"
#include "ports/PortKit.h"
#include "ports/TcpBackend.h"
#include "base/win/Winsock.h"

namespace corvelle {
namespace {

const char* const kClosed = "plain: TCP/IP - The printer closed the connection.\nThe transfer was stopped.\n";

// A socket closed when it goes.
struct Socket {
  explicit Socket(SOCKET s = INVALID_SOCKET) : s(s) {}
  Socket(Socket&& other) noexcept : s(std::exchange(other.s, INVALID_SOCKET)) {}
  Socket& operator=(Socket&& other) noexcept {
    std::swap(s, other.s);
    return *this;
  }
  ~Socket() {
    if (s != INVALID_SOCKET) ::closesocket(s);
  }
  SOCKET s;
};

struct WindowsTcp : ::testing::Test {
  void SetUp() override {
    ASSERT_EQ(win::WinsockReady(), 0);
    listener = Socket(::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP));
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ASSERT_EQ(::bind(listener.s, reinterpret_cast<sockaddr*>(&address), length) + ::listen(listener.s, 4) +
                  ::getsockname(listener.s, reinterpret_cast<sockaddr*>(&address), &length),
              0);
    args.ipAddress = "127.0.0.1";
    args.ipPort = ntohs(address.sin_port);
  }
  // The printer's end of the connection the port made (invalid when none came within 2 s).
  Socket Accept() {
    WSAPOLLFD p{listener.s, POLLRDNORM, 0};
    if (::WSAPoll(&p, 1, 2000) <= 0) return Socket();
    Socket printer(::accept(listener.s, nullptr, nullptr));
    const DWORD limit = 2000;  // for reading on the accepted connection
    ::setsockopt(printer.s, SOL_SOCKET, SO_RCVTIMEO, reinterpret_cast<const char*>(&limit), sizeof limit);
    return printer;
  }
  // Up to `count` bytes from the printer's end: what arrives before the time limit.
  static std::string Read(const Socket& printer, std::size_t count) {
    std::string got;
    char buffer[8192];
    while (got.size() < count) {
      const int n = ::recv(printer.s, buffer, static_cast<int>(std::min(sizeof buffer, count - got.size())), 0);
      if (n <= 0) break;
      got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
  }
  // Whether the printer's end holds unread bytes now.
  static bool Pending(const Socket& printer) {
    u_long waiting = 0;
    ::ioctlsocket(printer.s, FIONREAD, &waiting);
    return waiting > 0;
  }
  Socket listener;
  PortOpenArgs args = test::Args("TCP/IP");
  std::vector<std::string> probed;
  bool answers = true;
  test::FakeHost host;
  CDevicePort port{host, test::Env([this](auto& e) {
                      e.backendFactory = MakeSystemBackend;
                      e.reachable = [this](const std::string& address) { return probed.push_back(address), answers; };
                    })};
};

TEST_F(WindowsTcp, BytesLeaveExactlyInBlocksOf4096AndTheRestAtCloseOnATestedConnection) {
  ASSERT_TRUE(port.Open(args)) << test::Shown(host);
  const Socket printer = Accept();
  ASSERT_NE(printer.s, INVALID_SOCKET);
  const std::string part(4095, 'a');
  ASSERT_TRUE(port.Write(part.data(), part.size()));
  ::Sleep(50);
  EXPECT_FALSE(Pending(printer)) << "less than a block stays in the port";
  ASSERT_TRUE(port.WriteText("b"));
  EXPECT_EQ(Read(printer, 4096), part + "b");
  std::string rest(10000, '\0');
  for (std::size_t i = 0; i < rest.size(); ++i) rest[i] = static_cast<char>(i % 7 ? i : 0);
  ASSERT_TRUE(port.Write(rest.data(), rest.size()));
  EXPECT_TRUE(port.Close());
  EXPECT_TRUE(Read(printer, rest.size()) == rest);
  EXPECT_EQ(probed, std::vector<std::string>{"127.0.0.1"});
  EXPECT_EQ(test::Shown(host), "");
}

TEST_F(WindowsTcp, DataThePrinterSendsIsCountedWithZerosAsOneAndTheTextCapped) {
  ASSERT_TRUE(port.Open(args));
  const Socket printer = Accept();
  std::string flood(200000, '\0');
  for (std::size_t i = 0; i < flood.size(); ++i) flood[i] = static_cast<char>(i % 3 == 1 ? 0 : 'A' + i % 26);
  u_long nonBlocking = 1;
  ::ioctlsocket(printer.s, FIONBIO, &nonBlocking);
  const CClientSocket& socket = *static_cast<TcpBackend*>(port.Backend())->Socket();
  for (std::size_t i = 0, sent = 0; i < 5000 && socket.ReceivedCount() < 200000; ++i, ::Sleep(1)) {
    const int n = ::send(printer.s, flood.data() + sent, static_cast<int>(flood.size() - sent), 0);
    sent += static_cast<std::size_t>(std::max(n, 0));
    port.PumpMessages();
  }
  EXPECT_EQ(socket.ReceivedCount(), 200000);
  std::string kept = flood.substr(flood.size() - CClientSocket::kReceivedTextLimit);
  std::replace(kept.begin(), kept.end(), '\0', '\x01');
  EXPECT_TRUE(socket.ReceivedText() == kept);
}

TEST_F(WindowsTcp, AnAddressThatDoesNotAnswerIsNotConnectedAndARefusalShowsTheWinsockNumber) {
  answers = false;
  EXPECT_FALSE(port.Open(args));
  WSAPOLLFD p{listener.s, POLLRDNORM, 0};
  EXPECT_EQ(::WSAPoll(&p, 1, 30), 0) << "no connection was made";
  answers = true;
  listener = Socket();
  EXPECT_FALSE(port.Open(args));
  EXPECT_EQ(test::Shown(host), "plain: TCP/IP device is not responding\n"
                               "plain: TPC/IP - Failed to connect.\nWait a moment and retry !\nError nr.  10061.\n");
  EXPECT_FALSE(port.Write("a", 1)) << "a port that did not open takes nothing";
}

TEST_F(WindowsTcp, APrinterThatGoesAwayMidStreamOrResetsBeforeTakingTheLastBytesIsReportedOnce) {
  ASSERT_TRUE(port.Open(args));
  const std::string chunk(4096, 'c');
  int writes = 0;
  for (; writes < 20000 && port.Write(chunk.data(), chunk.size()); ++writes) {
    if (writes == 10) Accept();  // the printer's end goes at once
  }
  EXPECT_LT(writes, 20000) << "the writes stopped";
  EXPECT_FALSE(port.Write(chunk.data(), chunk.size()));
  EXPECT_FALSE(port.Close());
  EXPECT_EQ(test::Shown(host), kClosed);
  // A printer that resets the connection with bytes it never read: the loss shows at close.
  ASSERT_TRUE(port.Open(args));
  Socket printer = Accept();
  ASSERT_TRUE(port.Write(chunk.data(), chunk.size()));
  char first = 0;
  ASSERT_EQ(::recv(printer.s, &first, 1, MSG_PEEK), 1);
  const linger hard{1, 0};
  ::setsockopt(printer.s, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&hard), sizeof hard);
  printer = Socket();
  ::Sleep(100);
  EXPECT_FALSE(port.Close());
  EXPECT_EQ(test::Shown(host), std::string(kClosed) + kClosed);
}

// A printer that accepts but stops reading, with a small receive window, leaves bytes unsent:
// when the linger is up the close reports the loss instead of a success. Under Wine the
// lingering close blocks for the whole linger (real seconds), where Windows says WSAEWOULDBLOCK.
TEST_F(WindowsTcp, TheSocketLingersWithALargeSendBufferAndBytesLeftUnsentAfterTheLingerFailTheClose) {
  const int smallWindow = 4096;
  ASSERT_EQ(::setsockopt(listener.s, SOL_SOCKET, SO_RCVBUF, reinterpret_cast<const char*>(&smallWindow),
                         sizeof smallWindow),
            0);
  ASSERT_TRUE(port.Open(args));
  const Socket printer = Accept();
  const auto fd = static_cast<SOCKET>(static_cast<TcpBackend*>(port.Backend())->Socket()->Descriptor());
  linger lingering{};
  int sendBuffer = 0;
  int length = sizeof lingering;
  ASSERT_EQ(::getsockopt(fd, SOL_SOCKET, SO_LINGER, reinterpret_cast<char*>(&lingering), &length), 0);
  EXPECT_EQ(lingering.l_onoff, 1);
  EXPECT_EQ(lingering.l_linger, 10);
  length = sizeof sendBuffer;
  ASSERT_EQ(::getsockopt(fd, SOL_SOCKET, SO_SNDBUF, reinterpret_cast<char*>(&sendBuffer), &length), 0);
  EXPECT_GE(sendBuffer, 2 << 20);

  const std::string image(256 * 1024, 'i');
  const auto start = std::chrono::steady_clock::now();
  EXPECT_FALSE(port.Write(image.data(), image.size()) && port.Close());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(30));
  EXPECT_EQ(test::Shown(host),
            "plain: TCP/IP - Sending to the printer failed: Connection timed out.\nThe transfer was stopped.\n");
}

}  // namespace
}  // namespace corvelle
