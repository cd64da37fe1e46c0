// The TCP/IP kind against a real listener on 127.0.0.1; the reachability test is replaced so
// that nothing but loopback is ever contacted.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cerrno>

#include "ports/ClientSocket.h"
#include "ports/DevicePort.h"
#include "ports/LoopbackPrinter.h"
#include "ports/TcpBackend.h"
#include "support/FakeHost.h"

namespace corvelle {
namespace {

using test::FakeHost;
using test::LoopbackPrinter;

struct TcpFixture : ::testing::Test {
  PortEnvironment Env() {
    PortEnvironment env;
    env.reachable = [this](const std::string& host) {
      probed.push_back(host);
      return answers;
    };
    return env;
  }
  PortOpenArgs Args(int port) {
    PortOpenArgs a;
    a.portName = "TCP/IP";
    a.ipAddress = "127.0.0.1";
    a.ipPort = port;
    return a;
  }
  const CClientSocket& Socket(CDevicePort& port) {
    return *static_cast<TcpBackend*>(port.Backend())->Socket();
  }
  FakeHost host;
  std::vector<std::string> probed;
  bool answers = true;
};

TEST_F(TcpFixture, BytesArriveExactlyAndEachOpenIsANewTestedConnection) {
  LoopbackPrinter printer;
  CDevicePort port(host, Env());
  std::string sent;
  for (int round = 0; round < 2; ++round) {
    ASSERT_TRUE(port.Open(Args(printer.Port())));
    for (int i = 0; i < 50; ++i) {
      std::string chunk(333, static_cast<char>(i + round));
      chunk[0] = '\0';
      ASSERT_TRUE(port.Write(chunk.data(), chunk.size()));
      sent += chunk;
    }
    port.Purge();
    EXPECT_TRUE(port.DrainOutput());
    port.Close();
  }
  EXPECT_TRUE(printer.ReceiveAtLeast(sent.size()) == sent);
  EXPECT_EQ(printer.Accepted(), 2);
  EXPECT_EQ(probed, (std::vector<std::string>{"127.0.0.1", "127.0.0.1"}));
  EXPECT_TRUE(host.messages.empty());
}

TEST_F(TcpFixture, OutputLeavesInBlocksOf4096BytesAndTheRestAtClose) {
  LoopbackPrinter printer;
  CDevicePort port(host, Env());
  ASSERT_TRUE(port.Open(Args(printer.Port())));
  const std::string part(4095, 'a');
  ASSERT_TRUE(port.Write(part.data(), part.size()));
  EXPECT_EQ(printer.ReceiveAtLeast(1, 100).size(), 0u);
  ASSERT_TRUE(port.WriteText("b"));
  EXPECT_EQ(printer.ReceiveAtLeast(4096).size(), 4096u);
  ASSERT_TRUE(port.WriteText("0123456789"));
  EXPECT_EQ(printer.ReceiveAtLeast(4097, 100).size(), 4096u);
  port.Close();
  EXPECT_EQ(printer.ReceiveAtLeast(4106), part + "b0123456789");
}

TEST_F(TcpFixture, ARefusedConnectionShowsTheErrorNumberAfterTwoBlanks) {
  int freePort;
  { LoopbackPrinter gone; freePort = gone.Port(); }
  CDevicePort port(host, Env());
  EXPECT_FALSE(port.Open(Args(freePort)));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "TPC/IP - Failed to connect.\nWait a moment and retry !\nError nr.  111.");
  EXPECT_EQ(host.messages[0].style, MessageStyle::Plain);
  EXPECT_EQ(port.Kind(), PortKind::TcpIp);
  EXPECT_FALSE(port.Write("a", 1));
}

TEST_F(TcpFixture, AnAddressThatDoesNotAnswerIsNeverConnected) {
  LoopbackPrinter printer;
  answers = false;
  CDevicePort port(host, Env());
  EXPECT_FALSE(port.Open(Args(printer.Port())));
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "TCP/IP device is not responding");
  EXPECT_EQ(host.messages[0].style, MessageStyle::Plain);
  ::usleep(30000);
  EXPECT_EQ(printer.Accepted(), 0);
}

TEST_F(TcpFixture, APrinterThatClosesMidStreamStopsTheTransferWithOneMessage) {
  LoopbackPrinter printer([](LoopbackPrinter& self, int fd) {
    while (self.Received().size() < 10000 && self.ReadSome(fd)) {
    }
  });
  CDevicePort port(host, Env());
  ASSERT_TRUE(port.Open(Args(printer.Port())));
  const std::string chunk(512, 'c');
  bool stopped = false;
  for (int i = 0; i < 200000 && !stopped; ++i) stopped = !port.Write(chunk.data(), chunk.size());
  EXPECT_TRUE(stopped);
  EXPECT_FALSE(port.Write(chunk.data(), chunk.size()));
  port.Close();
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].text, "TCP/IP - The printer closed the connection.\nThe transfer was stopped.");
}

TEST_F(TcpFixture, DataThePrinterSendsIsCountedWithZerosShownAsOneAndTheTextCapped) {
  constexpr std::size_t kFlood = 200000;
  LoopbackPrinter printer([](LoopbackPrinter& self, int fd) {
    std::string data;
    for (std::size_t i = 0; i < kFlood; ++i) data += i % 3 == 1 ? '\0' : static_cast<char>('A' + i % 26);
    std::size_t sent = 0;
    while (sent < data.size() && self.Running()) {
      const ssize_t n = ::send(fd, data.data() + sent, data.size() - sent, MSG_NOSIGNAL);
      if (n <= 0) break;
      sent += static_cast<std::size_t>(n);
    }
    LoopbackPrinter::ReadAll(self, fd);
  });
  CDevicePort port(host, Env());
  ASSERT_TRUE(port.Open(Args(printer.Port())));
  for (int i = 0; i < 5000 && Socket(port).ReceivedCount() < static_cast<std::int64_t>(kFlood); ++i) {
    port.PumpMessages();
    ::usleep(200);
  }
  const CClientSocket& socket = Socket(port);
  EXPECT_EQ(socket.ReceivedCount(), static_cast<std::int64_t>(kFlood));
  ASSERT_EQ(socket.ReceivedText().size(), CClientSocket::kReceivedTextLimit);
  EXPECT_EQ(socket.ReceivedText().find('\0'), std::string::npos);
  const std::size_t first = kFlood - CClientSocket::kReceivedTextLimit;
  for (std::size_t i = first; i < first + 6; ++i) {
    EXPECT_EQ(socket.ReceivedText()[i - first], i % 3 == 1 ? '\x01' : static_cast<char>('A' + i % 26));
  }
  EXPECT_TRUE(port.WriteText("still sending"));
  port.Close();
  EXPECT_EQ(printer.ReceiveAtLeast(13), "still sending");
  EXPECT_TRUE(host.messages.empty());
}

TEST(EchoProbeReachable, LoopbackAnswersTheProgramsEcho) {
  if (::geteuid() != 0) GTEST_SKIP() << "raw ICMP sockets need root here";
  EXPECT_TRUE(EchoProbeReachable("127.0.0.1"));
  EXPECT_TRUE(DefaultPortEnvironment().reachable("127.0.0.1"));
}

TEST(ClientSocket, AConnectNotificationWithAnErrorAsksToCloseTheApplication) {
  FakeHost host;
  CClientSocket socket(host);
  socket.OnConnect(0);
  EXPECT_TRUE(host.messages.empty());
  socket.OnConnect(10061);
  ASSERT_EQ(host.messages.size(), 2u);
  EXPECT_EQ(host.messages[0].text, "OnConnect error: 10061");
  EXPECT_EQ(host.messages[1].text, "Please close the application");
  EXPECT_EQ(host.messages[1].style, MessageStyle::Plain);
}

TEST(ClientSocket, ZeroBytesAreKeptAsOne) {
  LoopbackPrinter printer([](LoopbackPrinter& self, int fd) {
    ::send(fd, "A\0B", 3, MSG_NOSIGNAL);
    LoopbackPrinter::ReadAll(self, fd);
  });
  FakeHost host;
  CClientSocket socket(host);
  int error = 0;
  ASSERT_TRUE(socket.Create(error));
  ASSERT_EQ(socket.Connect("127.0.0.1", printer.Port(), {}), 0);
  for (int i = 0; i < 1000 && socket.ReceivedCount() < 3; ++i) {
    socket.PollReceive();
    ::usleep(1000);
  }
  EXPECT_EQ(socket.ReceivedCount(), 3);
  EXPECT_EQ(socket.ReceivedText(), "A\x01" "B");
  EXPECT_FALSE(socket.PeerClosed());
}

}  // namespace
}  // namespace corvelle
