// How a download ends early: STOP in every pause and area, failed opens, failed and blocked
// writes, drains that never finish, a missing progress window, an image that cannot be read.
#include <gtest/gtest.h>
#include <unistd.h>

#include "DownloadKit.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

using test::DownloadKit;
using Type = test::PrinterEvent::Type;

// Checks that hold for every download that does not run to its end.
void ExpectEndedEarly(const DownloadKit& kit) {
  EXPECT_FALSE(kit.Shown(IDS_END_OF_PROCESS));
  EXPECT_FALSE(kit.Shown(IDS_FONTS_STORED));
  EXPECT_FALSE(kit.Shown(IDS_WAIT_AUTORESTART));
  EXPECT_EQ(kit.host.WaitedMs(WaitMode::PaintOnly), 0);
  EXPECT_TRUE(!kit.host.progress.created || kit.host.progress.destroyed);
  EXPECT_EQ(kit.host.busyChanges, (std::vector<bool>{true, false}));
  EXPECT_EQ(kit.printer.Count(Type::Open), kit.printer.Count(Type::Close));
}

struct StopCase {
  const char* name;
  bool legacy;
  std::size_t size;
  std::int64_t stopAtMs;  // STOP at this fake time, or
  int stopAfterWrite;     // after this write (1-based, announcements included)
  std::string (*expected)(const std::string& image);
  int opens;
};

class StopDuring : public ::testing::TestWithParam<StopCase> {};

TEST_P(StopDuring, SendsNothingMoreAndShowsNoEndMessages) {
  const StopCase& c = GetParam();
  DownloadKit kit;
  const std::string& image = kit.MakeImage(c.size);
  if (c.stopAtMs >= 0) kit.host.At(c.stopAtMs, [&kit] { kit.host.PressStop(); });
  if (c.stopAfterWrite > 0) {
    kit.hooks.afterWrite = [&kit, n = c.stopAfterWrite](int write) {
      if (write == n) kit.host.PressStop();
    };
  }
  EXPECT_EQ(c.legacy ? kit.DownloadLegacy() : kit.Download(), DownloadResult::Cancelled);
  EXPECT_TRUE(test::SameBytes(kit.printer.Received(), c.expected(image)));
  EXPECT_EQ(kit.printer.Count(Type::Open), c.opens);
  EXPECT_TRUE(kit.host.messages.empty());
  ExpectEndedEarly(kit);
  // STOP while sending discards what is queued, then drains and closes.
  const std::string script = kit.Script();
  if (c.stopAfterWrite > 0) {
    EXPECT_EQ(script.substr(script.size() - 4), "WPDC");
  }
  EXPECT_EQ(kit.steps.back().state, DownloadState::Ending);
}

constexpr std::size_t kTwoAreas = 0x200000;
constexpr std::size_t kArea1 = 0x150000;
const std::string kAnnounce1 = "?Z:&1376256\n";
const std::string kAnnounce2 = "?Z;&720896\n";

INSTANTIATE_TEST_SUITE_P(
    Download, StopDuring,
    ::testing::Values(
        StopCase{"FirstPause", false, kTwoAreas, 5000, 0, [](const std::string&) { return kAnnounce1; }, 1},
        StopCase{"PauseBetweenAreas", false, kTwoAreas, 20000, 0,
                 [](const std::string& i) { return kAnnounce1 + i.substr(0, kArea1); }, 2},
        StopCase{"SecondAnnouncementPause", false, kTwoAreas, 40000, 0,
                 [](const std::string& i) { return kAnnounce1 + i.substr(0, kArea1) + kAnnounce2; }, 3},
        StopCase{"FirstArea", false, kTwoAreas, -1, 1 + 100,
                 [](const std::string& i) { return kAnnounce1 + i.substr(0, 100 * 512); }, 2},
        StopCase{"SecondArea", false, kTwoAreas, -1, 1 + 2688 + 1 + 50,
                 [](const std::string& i) { return kAnnounce1 + i.substr(0, kArea1) + kAnnounce2 + i.substr(kArea1, 50 * 512); },
                 4},
        StopCase{"LastChunk", false, 100000, -1, 1 + 196,
                 [](const std::string& i) { return "?Z:&100000\n" + i; }, 2},
        StopCase{"LegacyPause", true, 300000, 10999, 0, [](const std::string&) { return std::string("?Z:&300000\n"); },
                 1},
        StopCase{"LegacySending", true, 300000, -1, 1 + 3,
                 [](const std::string& i) { return "?Z:&300000\n" + i.substr(0, 3 * 512); }, 2}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DownloadStop, PositionIsNotMovedForTheChunkDuringWhichStopCame) {
  DownloadKit kit;
  kit.MakeImage(100000);
  kit.hooks.afterWrite = [&kit](int write) {
    if (write == 11) kit.host.PressStop();
  };
  EXPECT_EQ(kit.Download(), DownloadResult::Cancelled);
  EXPECT_EQ(kit.host.progress.positions.size(), 9u);
}

TEST(DownloadStop, StopDuringTheFinalWaitChangesNothing) {
  DownloadKit kit;
  kit.MakeImage(1000);
  kit.host.At(15000, [&kit] { kit.host.PressStop(); });
  EXPECT_EQ(kit.Download(), DownloadResult::Completed);
  EXPECT_EQ(kit.host.WaitedMs(WaitMode::PaintOnly), 11000);
  EXPECT_TRUE(kit.Shown(IDS_FONTS_STORED));
}

class FailedOpen : public ::testing::TestWithParam<int> {};

TEST_P(FailedOpen, ShowsOnlyThePortsMessageAndEnds) {
  const int failing = GetParam();
  DownloadKit kit;
  const std::string& image = kit.MakeImage(kTwoAreas);
  kit.hooks.beforeOpen = [&kit, failing](int open) { kit.printer.refuseOpen = open == failing; };
  EXPECT_EQ(kit.Download(), DownloadResult::Failed);

  EXPECT_EQ(kit.MessageTexts(), std::vector<std::string>{kit.printer.refuseMessage});
  EXPECT_EQ(kit.host.progress.created, failing > 1);
  const std::string sent[] = {"", kAnnounce1, kAnnounce1 + image.substr(0, kArea1),
                              kAnnounce1 + image.substr(0, kArea1) + kAnnounce2};
  EXPECT_TRUE(test::SameBytes(kit.printer.Received(), sent[failing - 1]));
  EXPECT_EQ(kit.printer.Count(Type::Open), failing);
  EXPECT_EQ(kit.printer.Count(Type::Close), failing - 1);
  EXPECT_FALSE(kit.Shown(IDS_END_OF_PROCESS));
  EXPECT_FALSE(kit.Shown(IDS_FONTS_STORED));
  EXPECT_TRUE(!kit.host.progress.created || kit.host.progress.destroyed);
  EXPECT_EQ(kit.host.busyChanges, (std::vector<bool>{true, false}));
}

INSTANTIATE_TEST_SUITE_P(Download, FailedOpen, ::testing::Values(1, 2, 3, 4));

TEST(DownloadFailure, FailedWriteEndsTheDownloadWithoutSendingTheRest) {
  DownloadKit kit;
  const std::string& image = kit.MakeImage(kTwoAreas);
  kit.hooks.afterWrite = [&kit](int write) { kit.printer.failWrites = write == 5; };
  EXPECT_EQ(kit.Download(), DownloadResult::Failed);
  EXPECT_TRUE(test::SameBytes(kit.printer.Received(), kAnnounce1 + image.substr(0, 4 * 512)));
  const std::string script = kit.Script();
  EXPECT_EQ(script.substr(script.size() - 3), "WPC");
  EXPECT_EQ(kit.printer.Count(Type::Open), 2);
  EXPECT_TRUE(kit.host.messages.empty());
  ExpectEndedEarly(kit);
}

TEST(DownloadFailure, FailedAnnouncementEndsBeforeAnyPause) {
  DownloadKit kit;
  kit.MakeImage(1000);
  kit.printer.failWrites = true;
  EXPECT_EQ(kit.Download(), DownloadResult::Failed);
  EXPECT_EQ(kit.Script(), "OPC");
  EXPECT_TRUE(kit.host.waits.empty());
  ExpectEndedEarly(kit);
}

TEST(DownloadStop, WriteWaitingForPermissionEndsOnStopAsStop) {
  DownloadKit kit;
  const std::string& image = kit.MakeImage(100000);
  kit.hooks.afterWrite = [&kit](int write) { kit.hooks.writesWaitForStop = write == 3; };
  kit.host.At(12000, [&kit] { kit.host.PressStop(); });
  EXPECT_EQ(kit.Download(), DownloadResult::Cancelled);
  EXPECT_TRUE(test::SameBytes(kit.printer.Received(), "?Z:&100000\n" + image.substr(0, 2 * 512)));
  const std::string script = kit.Script();
  EXPECT_EQ(script.substr(script.size() - 4), "WPDC");
  EXPECT_TRUE(kit.host.messages.empty());
  ExpectEndedEarly(kit);
}

TEST(DownloadStop, DrainThatNeverEndsIsEndedByStop) {
  DownloadKit kit;
  kit.MakeImage(100000);
  kit.hooks.drainsWaitForStop = true;
  kit.host.At(3000, [&kit] { kit.host.PressStop(); });
  EXPECT_EQ(kit.Download(), DownloadResult::Cancelled);
  EXPECT_TRUE(test::SameBytes(kit.printer.Received(), "?Z:&100000\n"));
  EXPECT_EQ(kit.Script(), "OWDPDC");
  EXPECT_EQ(kit.Events(Type::Close).back().at, 3000);
  ExpectEndedEarly(kit);
}

TEST(DownloadFailure, NoProgressWindowMeansNothingIsSent) {
  DownloadKit kit;
  kit.MakeImage(1000);
  kit.host.failProgressView = true;
  EXPECT_EQ(kit.Download(), DownloadResult::Failed);
  EXPECT_EQ(kit.Script(), "OC");
  EXPECT_EQ(kit.MessageTexts(), std::vector<std::string>{"The progress window cannot be shown; nothing was sent."});
  ExpectEndedEarly(kit);
}

TEST(DownloadFailure, ImageThatCannotBeOpenedIsReportedBeforeAnyOpen) {
  for (const bool folder : {false, true}) {
    DownloadKit kit;
    if (folder) kit.imagePath = kit.dir.Path();
    EXPECT_EQ(kit.Download(), DownloadResult::Failed);
    ASSERT_EQ(kit.host.messages.size(), 1u);
    EXPECT_EQ(kit.host.messages[0].text.rfind("Error opening font set image\n" + kit.imagePath + " (", 0), 0u)
        << kit.host.messages[0].text;
    EXPECT_TRUE(kit.printer.events.empty());
    EXPECT_FALSE(kit.host.progress.created);
    EXPECT_EQ(kit.host.busyChanges, (std::vector<bool>{true, false}));
  }
}

TEST(DownloadFailure, ImageThatShrinksWhileSentEndsWithoutSendingStaleBytes) {
  DownloadKit kit;
  const std::string& image = kit.MakeImage(100000);
  kit.hooks.afterWrite = [&kit](int write) {
    if (write == 3) {
      ASSERT_EQ(::truncate(kit.imagePath.c_str(), 1000), 0);
    }
  };
  EXPECT_EQ(kit.Download(), DownloadResult::Failed);
  EXPECT_TRUE(test::SameBytes(kit.printer.Received(), "?Z:&100000\n" + image.substr(0, 1024)));
  const std::string script = kit.Script();
  EXPECT_EQ(script.substr(script.size() - 3), "WPC");
  ASSERT_EQ(kit.host.messages.size(), 1u);
  EXPECT_EQ(kit.host.messages[0].text, "Error reading font set image\n" + kit.imagePath +
                                           " (the file ended before the length it was announced with)");
  ExpectEndedEarly(kit);
}

}  // namespace
}  // namespace corvelle
