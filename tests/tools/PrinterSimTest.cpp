// kerv-printer-sim as a running program: over TCP on 127.0.0.1 (the area on the connection after
// its announcement's, --close-after, --talk, the end on SIGTERM) and on a pseudo-terminal as a
// serial printer (the set-up command, --talk). Whole downloads to it over both, with the image
// stored and compared, are the download tests' end-to-end tests.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tools/SimProcess.h"
#include "tools/TestImages.h"

namespace corvelle {
namespace {

using test::Announcement;
using test::SimProcess;
const auto Text = test::EventText;
const auto Number = test::EventNumber;

// A TCP connection to the simulator; -1 on failure.
int Connect(const SimProcess& sim) {
  sockaddr_in address{AF_INET, htons(static_cast<std::uint16_t>(sim.Port())), {htonl(INADDR_LOOPBACK)}, {}};
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  ::close(fd);
  return -1;
}

// Writes every byte; false once the printer has closed the connection.
bool SendAll(int fd, std::string_view bytes) {
  for (ssize_t n; !bytes.empty(); bytes.remove_prefix(static_cast<std::size_t>(n))) {
    if ((n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL)) <= 0) return false;
  }
  return true;
}

// Reads up to `count` bytes, until the far end closes or nothing comes for 10 s.
std::string Receive(int fd, std::size_t count) {
  std::string bytes;
  char byte;
  pollfd in{fd, POLLIN, 0};
  while (bytes.size() < count && ::poll(&in, 1, 10000) > 0 && ::read(fd, &byte, 1) == 1) bytes += byte;
  return bytes;
}

// `bytes` on a connection of their own, as a download opens and closes the port for each
// announcement and each area.
void SendOnItsOwn(const SimProcess& sim, std::string_view bytes) {
  const int fd = Connect(sim);
  ASSERT_GE(fd, 0);
  EXPECT_TRUE(SendAll(fd, bytes));
  ::close(fd);
}

TEST(PrinterSimTcp, CloseAfterCutsTheDataConnectionTalkAnswersAndSigtermEndsTheRun) {
  SimProcess sim({"--port", "0", "--close-after", "1000", "--talk", "12"});
  ASSERT_TRUE(sim.Started());
  SendOnItsOwn(sim, Announcement(1, 50000));
  const int fd = Connect(sim);
  ASSERT_GE(fd, 0);
  EXPECT_EQ(Receive(fd, 12), std::string("KERV\0KERV\0KE", 12));
  SendAll(fd, std::string(50000, 'd'));  // fails part-way once the printer has closed
  EXPECT_EQ(Receive(fd, 1), "");        // closed by the printer
  ::close(fd);
  const auto area = sim.Next("area_received");
  EXPECT_EQ(Number(area, "bytes"), 1000);
  EXPECT_FALSE(test::EventFlag(area, "complete"));
  EXPECT_EQ(Text(sim.Next("image"), "problem"), "area 1 ended after 1000 of 50000 bytes");
  const auto closed = sim.Next("connection_closed");
  EXPECT_EQ(Number(closed, "connection"), 2);
  EXPECT_EQ(Text(closed, "reason"), "close-after");
  EXPECT_EQ(Number(closed, "sent"), 12);
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_EQ(Text(sim.Next("exit", 0), "reason"), "SIGTERM");
}

TEST(PrinterSimPty, DecodesTheSetupCommandOnTheLineAndTalksAfterIt) {
  SimProcess sim({"--pty", "--talk", "7"});
  ASSERT_TRUE(sim.Started());
  ASSERT_TRUE(sim.PtyPath().starts_with("/dev/pts/")) << sim.PtyPath();
  const int line = ::open(sim.PtyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(line, 0);
  const std::string bytes = "noise\x3F\x41\x37\x26\x33\x2C\x32\x2C\x31\x2C\x30\x0D\x0A";
  ASSERT_EQ(::write(line, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  EXPECT_EQ(Receive(line, 7), std::string("KERV\0KE", 7));
  ::close(line);
  EXPECT_EQ(Text(sim.Next("unexpected_bytes"), "first"), "6E 6F 69 73 65");
  const auto setup = sim.Next("setup_command");
  EXPECT_EQ(Text(setup, "raw"), "?A7&3,2,1,0\r\n");
  EXPECT_EQ(Number(setup, "speed"), 19200);
  EXPECT_EQ(Text(setup, "parity"), "Even");
}

}  // namespace
}  // namespace corvelle
