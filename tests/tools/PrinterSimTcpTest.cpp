// kerv-printer-sim over real TCP on 127.0.0.1: the download's connections, image verdicts, the
// store, the fault options, and how the run ends.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QJsonArray>
#include <string>
#include <vector>

#include "fontset/FontSetFormat.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"
#include "tools/TestImages.h"

namespace corvelle {
namespace {

using test::Announcement;
using test::SendOnOwnConnection;
using test::SimProcess;
const auto Text = test::EventText;
const auto Number = test::EventNumber;
const auto Flag = test::EventFlag;

// Sends an image the way the download does: an announcement and the area on connections of
// their own, split at the area boundary.
void Download(int port, const std::string& image) {
  const std::size_t area1 = std::min<std::size_t>(image.size(), AREA_BOUNDARY);
  ASSERT_TRUE(SendOnOwnConnection(port, Announcement(1, area1)));
  ASSERT_TRUE(SendOnOwnConnection(port, std::string_view(image).substr(0, area1)));
  if (image.size() == area1) return;
  ASSERT_TRUE(SendOnOwnConnection(port, Announcement(2, image.size() - area1)));
  ASSERT_TRUE(SendOnOwnConnection(port, std::string_view(image).substr(area1)));
}

// Reads up to `count` bytes, until the peer closes or nothing comes for the wait.
std::string Receive(int fd, std::size_t count) {
  std::string bytes;
  char buffer[4096];
  while (bytes.size() < count) {
    pollfd ready{fd, POLLIN, 0};
    if (::poll(&ready, 1, 10000) <= 0) break;
    const ssize_t n = ::recv(fd, buffer, std::min(sizeof buffer, count - bytes.size()), 0);
    if (n <= 0) break;
    bytes.append(buffer, static_cast<std::size_t>(n));
  }
  return bytes;
}

TEST(PrinterSimTcp, ListensOnLoopbackOnTheChosenFreePort) {
  SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  EXPECT_GT(sim.Port(), 0);
  EXPECT_TRUE(sim.PtyPath().empty());
  const auto listening = sim.Next("listening");
  EXPECT_EQ(Text(listening, "address"), "127.0.0.1");
  EXPECT_EQ(Number(listening, "port"), sim.Port());
}

TEST(PrinterSimTcp, AOneAreaImageComesOnTheConnectionAfterItsAnnouncement) {
  SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  const std::string image = test::MakeLegacyImage({300, 4000});
  Download(sim.Port(), image);

  const auto announced = sim.Next("announcement");
  EXPECT_EQ(Number(announced, "area"), 1);
  EXPECT_EQ(Number(announced, "length"), static_cast<long long>(image.size()));
  EXPECT_EQ(Number(announced, "connection"), 1);
  const auto first = sim.Next("connection_closed");
  EXPECT_EQ(Number(first, "bytes"), static_cast<long long>(Announcement(1, image.size()).size()));
  const auto area = sim.Next("area_received");
  EXPECT_EQ(Number(area, "connection"), 2);
  EXPECT_EQ(Number(area, "bytes"), static_cast<long long>(image.size()));
  EXPECT_TRUE(Flag(area, "complete"));
  const auto judged = sim.Next("image");
  EXPECT_EQ(Text(judged, "verdict"), "consistent");
  EXPECT_EQ(Text(judged, "problem"), "");
  EXPECT_EQ(Text(judged, "format"), "FontSet.SHF");
  EXPECT_TRUE(judged && judged->value("stored").isNull());
}

TEST(PrinterSimTcp, ATwoAreaImageIsAssembledJudgedAndStoredExactly) {
  test::TempDir dir;
  SimProcess sim({"--port", "0", "--store", dir.File("images")});
  ASSERT_TRUE(sim.Started());
  const std::string image = test::MakeTwoAreaImage(0x1A0000);
  Download(sim.Port(), image);

  const auto judged = sim.Next("image");
  ASSERT_TRUE(judged);
  EXPECT_EQ(Text(judged, "verdict"), "consistent") << Text(judged, "problem");
  EXPECT_EQ(Text(judged, "format"), "FontSet.SHC");
  EXPECT_EQ(Number(judged, "bytes"), 0x1A0000);
  EXPECT_EQ(judged->value("areas").toArray(), (QJsonArray{0x150000, 0x50000}));
  EXPECT_EQ(Text(judged, "stored"), dir.File("images/image-001.bin"));
  EXPECT_TRUE(test::ReadFile(dir.File("images/image-001.bin")) == image);
  // Both areas were announced and received on connections of their own: four in all.
  EXPECT_EQ(Number(sim.Next("connection_closed"), "connection"), 4);
  std::vector<long long> announcedOn;
  for (const QJsonObject& event : sim.Events()) {
    if (event.value("event") == "announcement") announcedOn.push_back(event.value("connection").toInteger());
  }
  EXPECT_EQ(announcedOn, (std::vector<long long>{1, 3}));
}

TEST(PrinterSimTcp, AnInconsistentImageIsJudgedInconsistent) {
  SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  std::string image = test::MakeLegacyImage({1000});
  image[0xF7] = 9;  // the table count
  Download(sim.Port(), image);
  const auto judged = sim.Next("image");
  EXPECT_EQ(Text(judged, "verdict"), "inconsistent");
  EXPECT_EQ(Text(judged, "problem"), "table count 9 at 0xF4, expected 8");
}

TEST(PrinterSimTcp, CloseAfterCutsTheDataConnectionAfterThatManyBytes) {
  SimProcess sim({"--port", "0", "--close-after", "1000"});
  ASSERT_TRUE(sim.Started());
  ASSERT_TRUE(SendOnOwnConnection(sim.Port(), Announcement(1, 50000)));
  const int fd = test::ConnectLoopback(sim.Port());
  ASSERT_GE(fd, 0);
  test::SendAll(fd, std::string(50000, 'd'));  // may fail part-way once the printer has closed
  char byte;
  EXPECT_LE(::recv(fd, &byte, 1, 0), 0);  // closed by the printer
  ::close(fd);

  const auto area = sim.Next("area_received");
  EXPECT_EQ(Number(area, "bytes"), 1000);
  EXPECT_FALSE(Flag(area, "complete"));
  EXPECT_EQ(Text(sim.Next("image"), "problem"), "area 1 ended after 1000 of 50000 bytes");
  const auto closed = sim.Next("connection_closed");
  EXPECT_EQ(Number(closed, "connection"), 2);
  EXPECT_EQ(Text(closed, "reason"), "close-after");
  EXPECT_EQ(Number(closed, "bytes"), 1000);
}

TEST(PrinterSimTcp, TalkSendsBytesBackOnEveryConnection) {
  SimProcess sim({"--port", "0", "--talk", "12"});
  ASSERT_TRUE(sim.Started());
  for (int connection = 1; connection <= 2; ++connection) {
    const int fd = test::ConnectLoopback(sim.Port());
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Receive(fd, 12), std::string("KERV\0KERV\0KE", 12));
    ::close(fd);
    const auto closed = sim.Next("connection_closed");
    EXPECT_EQ(Number(closed, "connection"), connection);
    EXPECT_EQ(Number(closed, "sent"), 12);
  }
}

TEST(PrinterSimTcp, AConnectionOpenedWhileAnotherIsServedWaitsItsTurn) {
  SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  const std::string image = test::MakeLegacyImage({700});
  const int announcing = test::ConnectLoopback(sim.Port());
  ASSERT_TRUE(test::SendAll(announcing, Announcement(1, image.size())));
  ASSERT_TRUE(sim.Next("announcement"));
  ASSERT_TRUE(SendOnOwnConnection(sim.Port(), image));
  const auto second = sim.Next("connection_opened");
  EXPECT_TRUE(Flag(second, "waiting"));
  ::close(announcing);
  const auto area = sim.Next("area_received");
  EXPECT_EQ(Number(area, "connection"), 2);
  EXPECT_TRUE(Flag(area, "complete"));
  EXPECT_EQ(Text(sim.Next("image"), "verdict"), "consistent");
}

TEST(PrinterSimTcp, StallStopsReadingOnceTheAreaDataStarts) {
  SimProcess sim({"--port", "0", "--stall"});
  ASSERT_TRUE(sim.Started());
  ASSERT_TRUE(SendOnOwnConnection(sim.Port(), Announcement(1, IMAGE_LIMIT)));
  const int fd = test::ConnectLoopback(sim.Port());
  ASSERT_GE(fd, 0);
  const int small = 64 * 1024;
  ::setsockopt(fd, SOL_SOCKET, SO_SNDBUF, &small, sizeof small);
  // Send until the buffers stay full: a reader that stalls never makes room again.
  const std::string chunk(64 * 1024, 'd');
  std::size_t sent = 0;
  for (;;) {
    const ssize_t n = ::send(fd, chunk.data(), std::min(chunk.size(), IMAGE_LIMIT - sent), MSG_DONTWAIT | MSG_NOSIGNAL);
    if (n > 0) sent += static_cast<std::size_t>(n);
    if (sent == IMAGE_LIMIT || (n < 0 && errno != EAGAIN)) break;
    pollfd writable{fd, POLLOUT, 0};
    if (n < 0 && ::poll(&writable, 1, 300) == 0) break;  // the unavoidable real wait
  }
  EXPECT_LT(sent, IMAGE_LIMIT);
  const auto stalled = sim.Next("stalled");
  EXPECT_EQ(Number(stalled, "connection"), 2);
  EXPECT_GT(Number(stalled, "bytes"), 0);
  ::close(fd);
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_EQ(Text(sim.Next("image", 0), "problem").rfind("area 1 ended after ", 0), 0u);
}

TEST(PrinterSimTcp, ExitAfterImagesEndsTheRunWithStatusZero) {
  SimProcess sim({"--port", "0", "--exit-after-images", "1"});
  ASSERT_TRUE(sim.Started());
  Download(sim.Port(), test::MakeLegacyImage({50}));
  EXPECT_EQ(sim.WaitForExit(), 0);
  EXPECT_TRUE(sim.Next("image", 0));
  EXPECT_EQ(Text(sim.Next("exit", 0), "reason"), "images judged");
}

TEST(PrinterSimTcp, SigtermJudgesAnImageStillWaitingForItsArea2) {
  SimProcess sim({"--port", "0"});
  ASSERT_TRUE(sim.Started());
  const std::string image = test::MakeTwoAreaImage(0x170000);
  ASSERT_TRUE(SendOnOwnConnection(sim.Port(), Announcement(1, AREA_BOUNDARY)));
  ASSERT_TRUE(SendOnOwnConnection(sim.Port(), std::string_view(image).substr(0, AREA_BOUNDARY)));
  ASSERT_TRUE(sim.Next("area_received"));
  EXPECT_EQ(sim.Stop(), 0);
  EXPECT_EQ(Text(sim.Next("image", 0), "problem"), "area 2 never came: the run ended");
  EXPECT_EQ(Text(sim.Next("exit", 0), "reason"), "SIGTERM");
}

}  // namespace
}  // namespace corvelle
