// The download over each kind of port: the serial queue wait (only for COM names), and real
// bytes into output files with the fake clock. (TCP and serial lines: SimulatorTest.)
#include <gtest/gtest.h>

#include "DownloadKit.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

using test::DownloadKit;
using test::ReadFile;
using Type = test::PrinterEvent::Type;

TEST(DownloadQueue, SerialPortWaitsForItsQueueBetweenChunksWithoutSpinning) {
  DownloadKit kit;
  kit.MakeImage(3 * 512);
  long queue = 0;
  int reads = 0;
  kit.printer.queued = [&] {
    ++reads;
    const long now = queue;
    queue = std::max(0L, queue - 200);
    return now;
  };
  kit.hooks.afterWrite = [&](int) { queue = 520; };
  ASSERT_EQ(kit.Download(), DownloadResult::Completed);

  // Per chunk: 520, 320, 120 queued (sleep after each), then 0.
  EXPECT_EQ(reads, 3 * 4);
  int queueWaits = 0;
  for (const auto& w : kit.host.waits) {
    if (w.mode != WaitMode::Responsive || w.ms >= 11000) continue;
    ++queueWaits;
    EXPECT_GE(w.ms, 2);
    EXPECT_LE(w.ms, 100);
  }
  EXPECT_EQ(queueWaits, 3 * 3);
}

TEST(DownloadQueue, NextChunkGoesOnceTenBytesOrFewerAreQueued) {
  DownloadKit kit;
  kit.MakeImage(2 * 512);
  std::vector<long> script = {11, 10, 11, 3};
  std::size_t next = 0;
  std::vector<std::size_t> writesWhenRead;
  kit.printer.queued = [&] {
    writesWhenRead.push_back(kit.printer.events.size());
    return next < script.size() ? script[next++] : 0;
  };
  ASSERT_EQ(kit.Download(), DownloadResult::Completed);
  ASSERT_EQ(writesWhenRead.size(), 4u);
  // Two reads after the first chunk (11 is too many, 10 is few enough), two after the second.
  EXPECT_EQ(writesWhenRead[0], writesWhenRead[1]);
  EXPECT_EQ(writesWhenRead[2], writesWhenRead[3]);
  EXPECT_EQ(writesWhenRead[2], writesWhenRead[1] + 1);
}

TEST(DownloadQueue, OnlyComNamesReadTheQueueYetAllKindsPause) {
  for (const char* name : {"LPT1:", "TCP/IP", "FILE", "USB1"}) {
    DownloadKit kit;
    kit.MakeImage(5000);
    kit.settings.portName = name;
    int reads = 0;
    kit.printer.queued = [&] { return ++reads, 1000L; };
    ASSERT_EQ(kit.Download(), DownloadResult::Completed) << name;
    EXPECT_EQ(reads, 0) << name;
    EXPECT_EQ(kit.host.WaitedMs(WaitMode::Responsive), 11000) << name;
  }
}

TEST(DownloadQueue, StopEndsTheQueueWait) {
  DownloadKit kit;
  const std::string& image = kit.MakeImage(100000);
  int reads = 0;
  kit.printer.queued = [&] { return ++reads, 1000L; };
  kit.host.At(11500, [&kit] { kit.host.PressStop(); });
  EXPECT_EQ(kit.Download(), DownloadResult::Cancelled);
  EXPECT_TRUE(test::SameBytes(kit.printer.Received(), "?Z:&100000\n" + image.substr(0, 512)));
  const std::string script = kit.Script();
  EXPECT_EQ(script.substr(script.size() - 5), "OWPDC");
  EXPECT_EQ(kit.Events(Type::Close).back().at, 11500);
  // Every read of the queue but the last is followed by a sleep.
  EXPECT_LE(reads, 500 / 2 + 1);
  EXPECT_FALSE(kit.Shown(IDS_END_OF_PROCESS));
}

// The real FILE kind: every open asks for an output file.
TEST(DownloadFile, EveryOpenAsksForItsOwnOutputFile) {
  DownloadKit kit;
  const std::string& image = kit.MakeImage(0x150001);
  kit.settings.portName = "FILE";
  for (int i = 1; i <= 4; ++i) kit.host.savePaths.push_back(kit.dir.File("out" + std::to_string(i)));
  ASSERT_EQ(DownloadFontSet({kit.host, kit.settings, PortEnvironment{}, kit.imagePath, {}}),
            DownloadResult::Completed);
  ASSERT_EQ(kit.host.saveRequests.size(), 4u);
  for (const auto& request : kit.host.saveRequests) EXPECT_EQ(request.suggestedName, "fontext.out.out");
  EXPECT_EQ(ReadFile(kit.dir.File("out1")), "?Z:&1376256\n");
  EXPECT_TRUE(test::SameBytes(ReadFile(kit.dir.File("out2")), image.substr(0, 0x150000)));
  EXPECT_EQ(ReadFile(kit.dir.File("out3")), "?Z;&1\n");
  EXPECT_TRUE(test::SameBytes(ReadFile(kit.dir.File("out4")), image.substr(0x150000)));
}

TEST(DownloadFile, CancellingASaveDialogEndsTheDownloadSilently) {
  DownloadKit kit;
  const std::string& image = kit.MakeImage(0x150001);
  kit.settings.portName = "FILE";
  kit.host.savePaths = {kit.dir.File("a"), kit.dir.File("b"), std::nullopt};
  EXPECT_EQ(DownloadFontSet({kit.host, kit.settings, PortEnvironment{}, kit.imagePath, {}}), DownloadResult::Failed);
  EXPECT_EQ(kit.host.saveRequests.size(), 3u);
  EXPECT_TRUE(kit.host.messages.empty());
  EXPECT_TRUE(test::SameBytes(ReadFile(kit.dir.File("b")), image.substr(0, 0x150000)));
  EXPECT_TRUE(kit.host.progress.destroyed);
  EXPECT_EQ(kit.host.busyChanges, (std::vector<bool>{true, false}));
}

}  // namespace
}  // namespace corvelle
