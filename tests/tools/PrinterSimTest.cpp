// SPDX-License-Identifier: MIT
// kerv-printer-sim as a running program: over TCP on 127.0.0.1 (the area on the connection after
// its announcement's, --close-after, --talk, the end on SIGTERM, silent clients and the idle
// timeout, the store's caps), on a pseudo-terminal as a
// serial printer (the set-up command, --talk), and the socket of its virtual USB bridge. Whole
// downloads to it, with the image stored and compared, are the download tests' end-to-end tests;
// the USB bridge's flow control and faults are tested through the stand-in libusb.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

#include "support/LoopbackPrinter.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"

namespace corvelle {
namespace {

using namespace test;

// A TCP connection to `port` on loopback, closed when it goes, with `bytes` sent on it (all of
// them, unless the printer closes the connection first); invalid when the connection is refused.
PrinterEnd Connect(int port, std::string_view bytes = {}) {
  PrinterEnd end(loopback::Connect(port));
  if (end.Valid()) ::send(end.Handle(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
  return end;
}

TEST(PrinterSimTcp, CloseAfterCutsTheDataConnectionTalkAnswersAndSigtermEndsTheRun) {
  SimProcess sim({"--port", "0", "--close-after", "1000", "--talk", "12"});
  ASSERT_TRUE(sim.Started());
  Connect(sim.Port(), "?Z:&50000\n");  // as a download announces, on a connection of its own
  {
    const PrinterEnd data = Connect(sim.Port());
    EXPECT_EQ(data.Read(12, 10000), std::string("KERV\0KERV\0KE", 12));
    ::send(data.Handle(), std::string(50000, 'd').data(), 50000, MSG_NOSIGNAL);  // fails part-way once the printer has closed
    EXPECT_EQ(data.Read(1, 10000), "");                                         // closed by the printer
  }
  const auto area = sim.Next("area_received");
  EXPECT_EQ(EventNumber(area, "bytes"), 1000);
  EXPECT_FALSE(EventFlag(area, "complete"));
  EXPECT_EQ(EventText(sim.Next("image"), "problem"), "area 1 ended after 1000 of 50000 bytes");
  const auto closed = sim.Next("connection_closed");
  EXPECT_EQ(EventNumber(closed, "connection"), 2);
  EXPECT_EQ(EventText(closed, "reason"), "close-after");
  EXPECT_EQ(EventNumber(closed, "sent"), 12);
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_EQ(EventText(sim.Next("exit", 0), "reason"), "SIGTERM");
}

// One image of area 1 alone: its announcement and its bytes on a connection each.
void SendImage(const SimProcess& sim, std::size_t bytes) {
  Connect(sim.Port(), "?Z:&" + std::to_string(bytes) + "\n");
  Connect(sim.Port(), std::string(bytes, 'i'));
}

TEST(PrinterSimTcp, ASilentClientHoldsUpNobodyAndIsClosedAfterTheIdleTimeout) {
  EXPECT_FALSE(SimProcess({"--idle-timeout", "86401"}).Started()) << "a day at most";
  SimProcess sim({"--port", "0", "--idle-timeout", "1"});
  ASSERT_TRUE(sim.Started());
  PrinterEnd silent = Connect(sim.Port());
  SendImage(sim, 5);
  const auto image = sim.Next("image", 5000);
  ASSERT_TRUE(image) << "the client after a silent one is served";
  auto closed = sim.Next("connection_closed", 5000);
  while (closed && EventNumber(closed, "connection") != 1) closed = sim.Next("connection_closed", 5000);
  EXPECT_EQ(EventText(closed, "reason"), "idle timeout");
  EXPECT_LT(EventNumber(image, "t_ms"), EventNumber(closed, "t_ms")) << "served while the first was idle";
  const auto opened = std::find_if(sim.Events().begin(), sim.Events().end(),
                                   [](const QJsonObject& event) { return event["event"] == "connection_opened"; });
  ASSERT_NE(opened, sim.Events().end());
  EXPECT_GE(EventNumber(closed, "t_ms") - EventNumber(*opened, "t_ms"), 1000);
  EXPECT_EQ(silent.Read(1, 10000), "") << "the printer closed it";

  // One that keeps sending is served for longer than the timeout, and the one behind it waits
  // with its bytes that long without being idle; once the first falls silent it is closed and
  // the other comes next.
  PrinterEnd busy = Connect(sim.Port(), "?"), behind = Connect(sim.Port(), "?Z:&3\n");
  for (int i = 0; i < 4; ++i) {
    ::usleep(500 * 1000);
    ::send(busy.Handle(), "x", 1, MSG_NOSIGNAL);
  }
  const auto busyClosed = sim.Next("connection_closed", 5000);
  EXPECT_EQ(EventNumber(busyClosed, "connection"), 4);
  EXPECT_EQ(EventText(busyClosed, "reason"), "idle timeout");
  EXPECT_EQ(EventNumber(sim.Next("announcement", 5000), "length"), 3);
  behind = PrinterEnd();
  EXPECT_EQ(EventText(sim.Next("connection_closed", 5000), "reason"), "peer closed");
  busy = PrinterEnd();
  EXPECT_EQ(sim.Stop(), 0);
}

// Out of descriptors, the waiting connections stay in the backlog and the simulator rests
// instead of spinning on the failed accept; it accepts again once descriptors are free.
TEST(PrinterSimTcp, OutOfDescriptorsItRestsAndAcceptsOnceSomeAreFree) {
  SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  const std::string fdFolder = "/proc/" + std::to_string(sim.Pid()) + "/fd";
  const auto used = std::distance(std::filesystem::directory_iterator(fdFolder), {});
  const rlimit two_more{static_cast<rlim_t>(used + 2), static_cast<rlim_t>(used + 2)};
  ASSERT_EQ(::prlimit(sim.Pid(), RLIMIT_NOFILE, &two_more, nullptr), 0) << std::strerror(errno);
  {
    std::vector<PrinterEnd> clients(6);
    for (PrinterEnd& client : clients) client = Connect(sim.Port());
    ::usleep(1000 * 1000);
  }
  SendImage(sim, 5);
  ASSERT_TRUE(sim.Next("image", 10000)) << "served once the others are gone";
  const auto failures = std::count_if(sim.Events().begin(), sim.Events().end(),
                                      [](const QJsonObject& event) { return event["event"] == "accept_failed"; });
  EXPECT_GE(failures, 1);
  EXPECT_LE(failures, 30) << "a rest between tries, not a spin";
  EXPECT_EQ(sim.Stop(), 0);
}

TEST(PrinterSimTcp, TheStoreKeepsTheNewestImagesWithinItsCaps) {
  test::TempDir dir;
  SimProcess sim({"--port", "0", "--store", dir.Path(), "--store-max-images", "3", "--store-max-bytes", "25"});
  ASSERT_TRUE(sim.Started());
  const auto removed = [&](std::size_t bytes) {
    SendImage(sim, bytes);
    EXPECT_TRUE(sim.Next("image"));
    std::vector<std::string> seen;
    for (std::size_t i = 0; i < sim.Events().size(); ++i) {
      const QJsonObject& event = sim.Events()[i];
      if (event["event"].toString() != "store_removed") continue;
      seen.push_back(event["path"].toString().section('/', -1).toStdString() + " " +
                     event["reason"].toString().toStdString());
    }
    return seen;
  };
  removed(10);
  removed(10);
  EXPECT_EQ(removed(10), std::vector<std::string>{"image-001.bin store-max-bytes"});
  removed(4);  // 24 bytes in three images
  EXPECT_EQ(removed(2), (std::vector<std::string>{"image-001.bin store-max-bytes", "image-002.bin store-max-images"}));
  SendImage(sim, 30);
  const auto tooBig = sim.Next("store_failed");
  EXPECT_EQ(EventText(tooBig, "error"), "larger than --store-max-bytes 25");
  EXPECT_TRUE(sim.Next("image")->value("stored").isNull());
  EXPECT_EQ(sim.Stop(), 0);
  std::vector<std::string> kept;
  for (const auto& entry : std::filesystem::directory_iterator(dir.Path())) kept.push_back(entry.path().filename());
  std::sort(kept.begin(), kept.end());
  EXPECT_EQ(kept, (std::vector<std::string>{"image-003.bin", "image-004.bin", "image-005.bin"}));
}

TEST(PrinterSimTcp, SeveralPrintersEachOnItsOwnPortTheFirstRefusingForAWhileAndOneSignalEndsThemAll) {
  SimProcess sim({"--printers", "3", "--port", "0", "--refuse-first", "1", "--refuse-for", "3"});
  ASSERT_TRUE(sim.Started());
  const std::vector<int> ports = sim.Ports();
  ASSERT_EQ(ports.size(), 3u);
  EXPECT_TRUE(ports[0] != ports[1] && ports[1] != ports[2] && ports[0] != ports[2]);
  // The first printer is still starting up: its port is printed, but a connect is refused.
  EXPECT_FALSE(Connect(ports[0]).Valid());
  // Only the second printer is announced to, and only its log says so.
  Connect(ports[1], "?Z:&50000\n");
  EXPECT_EQ(EventNumber(sim.Next("announcement"), "printer"), 2);
  // Its time up, the first printer listens on the port it printed.
  const auto listening = sim.Next("listening");
  EXPECT_EQ(EventNumber(listening, "printer"), 1);
  EXPECT_EQ(EventNumber(listening, "port"), ports[0]);
  EXPECT_TRUE(Connect(ports[0]).Valid());
  // A signal interrupts one thread's wait; every printer must still end, at once.
  EXPECT_EQ(sim.Stop(), 0);
  std::vector<int> ended;
  std::vector<std::string> firstPrinters;
  for (const QJsonObject& event : sim.Events()) {
    if (event.value("event") == "exit") ended.push_back(event.value("printer").toInt());
    if (event.value("printer").toInt() == 1) firstPrinters.push_back(event.value("event").toString().toStdString());
  }
  std::sort(ended.begin(), ended.end());
  EXPECT_EQ(ended, (std::vector<int>{1, 2, 3}));
  EXPECT_EQ(firstPrinters, (std::vector<std::string>{"refusing", "listening", "connection_opened", "connection_closed", "exit"}));
}

TEST(PrinterSimPty, DecodesTheSetupCommandOnTheLineAndTalksAfterIt) {
  SimProcess sim({"--pty", "--talk", "7"});
  ASSERT_TRUE(sim.Started());
  ASSERT_TRUE(sim.PtyPath().starts_with("/dev/pts/")) << sim.PtyPath();
  const int line = ::open(sim.PtyPath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
  ASSERT_GE(line, 0);
  const std::string bytes = "noise\x3F\x41\x37\x26\x33\x2C\x32\x2C\x31\x2C\x30\x0D\x0A";
  ASSERT_EQ(::write(line, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
  std::string talk;
  pollfd in{line, POLLIN, 0};
  for (char byte; talk.size() < 7 && ::poll(&in, 1, 10000) > 0 && ::read(line, &byte, 1) == 1;) talk += byte;
  EXPECT_EQ(talk, std::string("KERV\0KE", 7));
  ::close(line);
  EXPECT_EQ(EventText(sim.Next("unexpected_bytes"), "first"), "6E 6F 69 73 65");
  const auto setup = sim.Next("setup_command");
  EXPECT_EQ(EventText(setup, "raw"), "?A7&3,2,1,0\r\n");
  EXPECT_EQ(EventNumber(setup, "speed"), 19200);
  EXPECT_EQ(EventText(setup, "parity"), "Even");
}

// A Unix stream socket at `path`, listening or merely bound (left behind as by a killed program).
int UnixSocket(const std::string& path, bool listening) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  path.copy(address.sun_path, sizeof address.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  EXPECT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0) << path;
  EXPECT_TRUE(!listening || ::listen(fd, 1) == 0);
  return fd;
}

TEST(PrinterSimUsb, TakesOverAStaleSocketButNotAFileOrASocketInUseAndRemovesItsOwnAtTheEnd) {
  test::TempDir dir;
  const std::string path = dir.File("usb.sock");
  struct stat info {};
  ::close(UnixSocket(path, false));
  {
    SimProcess sim({"--usb", path});
    EXPECT_TRUE(sim.Started()) << "a socket nobody listens on is taken over";
    EXPECT_FALSE(SimProcess({"--usb", path}).Started()) << "one in use is not";
    const int listening = UnixSocket(dir.File("other.sock"), true);
    EXPECT_FALSE(SimProcess({"--usb", dir.File("other.sock")}).Started());
    ::close(listening);
    EXPECT_EQ(sim.Stop(), 0);
  }
  EXPECT_NE(::lstat(path.c_str(), &info), 0) << "the socket goes with the simulator";
  dir.Write("file", "keep");
  EXPECT_FALSE(SimProcess({"--usb", dir.File("file")}).Started());
  EXPECT_EQ(test::ReadFile(dir.File("file")), "keep");
}

}  // namespace
}  // namespace corvelle
