// The download sequence with the fake clock and the recording printer: announcements, areas,
// chunks, opens, pauses, the end, the open arguments and the progress bar.
#include <gtest/gtest.h>

#include <numeric>

#include "DownloadKit.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

using test::DownloadKit;
using Type = test::PrinterEvent::Type;

struct SequenceCase {
  const char* name;
  std::size_t size;
  bool legacy;
  std::vector<std::string> announcements;
  std::vector<std::size_t> chunks;  // per area
  std::size_t lastChunk;
};

class DownloadSequence : public ::testing::TestWithParam<SequenceCase> {};

TEST_P(DownloadSequence, SendsEachAreaAfterItsAnnouncementOnFreshOpens) {
  const SequenceCase& c = GetParam();
  DownloadKit kit;
  const std::string& image = kit.MakeImage(c.size);
  ASSERT_EQ(c.legacy ? kit.DownloadLegacy() : kit.Download(), DownloadResult::Completed);

  // Every byte of the image arrives once, in order, each area after its announcement.
  std::string expected;
  std::size_t offset = 0;
  std::string script;
  for (std::size_t area = 0; area < c.announcements.size(); ++area) {
    const std::size_t length = area + 1 < c.announcements.size() ? 0x150000 : image.size() - offset;
    expected += c.announcements[area] + image.substr(offset, length);
    offset += length;
    script += "OWDC";
    script += "O" + std::string(c.chunks[area], 'W') + "DC";
  }
  EXPECT_TRUE(test::SameBytes(kit.printer.Received(), expected));
  EXPECT_EQ(kit.Script(), script);

  // An announcement is one write of exactly its length; an area is 512-byte chunks.
  for (std::size_t area = 0; area < c.announcements.size(); ++area) {
    const int open = static_cast<int>(area) * 2 + 1;
    EXPECT_EQ(kit.WriteSizes(open), std::vector<std::size_t>{c.announcements[area].size()});
    const auto chunks = kit.WriteSizes(open + 1);
    ASSERT_EQ(chunks.size(), c.chunks[area]);
    const bool last = area + 1 == c.announcements.size();
    for (std::size_t i = 0; i + 1 < chunks.size(); ++i) ASSERT_EQ(chunks[i], 512u) << "chunk " << i;
    EXPECT_EQ(chunks.back(), last ? c.lastChunk : 512u);
  }

  // 11 s after each announcement, 26 s between the areas, 11 s at the end.
  EXPECT_EQ(kit.PauseBeforeOpen(2), 11000);
  if (c.announcements.size() == 2) {
    EXPECT_EQ(kit.PauseBeforeOpen(3), 26000);
    EXPECT_EQ(kit.PauseBeforeOpen(4), 11000);
  }
  EXPECT_EQ(kit.host.WaitedMs(WaitMode::Responsive), c.announcements.size() == 2 ? 48000 : 11000);
  EXPECT_EQ(kit.host.WaitedMs(WaitMode::PaintOnly), 11000);

  ASSERT_EQ(kit.host.messages.size(), 1u);
  const auto& closing = kit.host.messages[0];
  EXPECT_EQ(closing.text, LoadStr(c.legacy ? IDS_WAIT_AUTORESTART : IDS_FONTS_STORED));
  EXPECT_EQ(closing.style, MessageStyle::Plain);
  EXPECT_EQ(closing.at, kit.Events(Type::Close).back().at + 11000);
}

INSTANTIATE_TEST_SUITE_P(
    Images, DownloadSequence,
    ::testing::Values(
        SequenceCase{"TwoAreas", 0x200000, false, {"?Z:&1376256\n", "?Z;&720896\n"}, {2688, 1408}, 512},
        SequenceCase{"HundredThousand", 100000, false, {"?Z:&100000\n"}, {196}, 160},
        SequenceCase{"ExactlyOneArea", 0x150000, false, {"?Z:&1376256\n"}, {2688}, 512},
        SequenceCase{"OneByteSecondArea", 0x150001, false, {"?Z:&1376256\n", "?Z;&1\n"}, {2688, 1}, 1},
        SequenceCase{"Legacy", 300000, true, {"?Z:&300000\n"}, {586}, 480},
        SequenceCase{"LegacyFull", 0x150000, true, {"?Z:&1376256\n"}, {2688}, 512},
        SequenceCase{"LegacyOversized", 0x150200, true, {"?Z:&1376768\n"}, {2689}, 512}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Download, EveryOpenGetsFreshArgumentsWithBothFlowControlsAndTheOutputName) {
  DownloadKit kit;
  kit.MakeImage(0x150001);
  kit.settings.portName = "COM12:";
  kit.settings.speedIndex = 4;
  kit.settings.parityIndex = 2;
  kit.settings.dataBitsIndex = 0;
  kit.settings.stopBitsIndex = 1;
  kit.settings.xonXoff = 0;
  kit.settings.hardwareFlow = 0;
  kit.settings.ipAddress = "127.0.0.1";
  kit.settings.ipPort = 9100;
  ASSERT_EQ(kit.Download(), DownloadResult::Completed);

  ASSERT_EQ(kit.printer.opens.size(), 4u);
  for (const PortOpenArgs& a : kit.printer.opens) {
    EXPECT_EQ(test::OpenArgsText(a),
              "COM12: number=12 baud=5 parity=2 data=0 stop=1 xon=1 cts=1 mask=0 ip=127.0.0.1:9100 "
              "out=fontext.out/fontext.out");
  }
}

TEST(Download, ProgressWindowShowsTheMessageRangeAndEndStatus) {
  DownloadKit kit;
  kit.MakeImage(1000);
  ASSERT_EQ(kit.Download(), DownloadResult::Completed);
  const auto& p = kit.host.progress;
  EXPECT_TRUE(p.created);
  EXPECT_TRUE(p.destroyed);
  EXPECT_EQ(p.messages, std::vector<std::string>{std::string(LoadStr(IDS_UPGRADING))});
  EXPECT_EQ(p.ranges, (std::vector<std::pair<int, int>>{{0, 100}}));
  EXPECT_EQ(p.cancelClears, 1);
  EXPECT_EQ(p.statuses, std::vector<std::string>{std::string(LoadStr(IDS_END_OF_PROCESS))});
  EXPECT_EQ(kit.host.busyChanges, (std::vector<bool>{true, false}));
}

// Each chunk counts 512 bytes against the whole image, so the bar counts both areas and the
// last position of an image that does not end on a chunk boundary can pass 100.
TEST(Download, ProgressPositionsAfterEachChunk) {
  struct Case {
    std::size_t size;
    std::size_t chunks;
    std::vector<std::pair<std::size_t, int>> positions;  // chunk index, position after it
  };
  for (const Case& c : {Case{1000, 2, {{0, 51}, {1, 102}}},
                        Case{100000, 196, {{0, 0}, {194, 99}, {195, 100}}},
                        Case{0x200000, 4096, {{0, 0}, {2687, 65}, {2688, 65}, {4095, 100}}}}) {
    DownloadKit kit;
    kit.MakeImage(c.size);
    ASSERT_EQ(kit.Download(), DownloadResult::Completed);
    const auto& positions = kit.host.progress.positions;
    ASSERT_EQ(positions.size(), c.chunks) << c.size;
    for (const auto& [chunk, position] : c.positions) EXPECT_EQ(positions[chunk], position) << c.size << "/" << chunk;
    EXPECT_TRUE(std::is_sorted(positions.begin(), positions.end()));
  }
}

TEST(Download, StatesFollowTheSequenceOfTheImage) {
  DownloadKit kit;
  kit.MakeImage(0x150001);
  ASSERT_EQ(kit.Download(), DownloadResult::Completed);
  using S = DownloadState;
  std::vector<S> states;
  for (const auto& step : kit.steps) states.push_back(step.state);
  EXPECT_EQ(states, (std::vector<S>{S::Opening, S::Announcing, S::Pausing, S::Opening, S::Sending, S::Pausing,
                                    S::Opening, S::Announcing, S::Pausing, S::Opening, S::Sending, S::Ending}));
  EXPECT_EQ(kit.steps[5].pauseExceeds, 25);
  EXPECT_EQ(kit.steps[8].pauseExceeds, 10);
  EXPECT_EQ(DescribeStep(kit.steps[10]), "Sending area 2 of 2 (1 bytes)");
  EXPECT_EQ(DescribeStep(kit.steps[5]), "Waiting 26 s");
}

TEST(Download, AnnouncementsAreSignedDecimalWithoutLeadingZeros) {
  EXPECT_EQ(Announcement("?Z:&", 0), "?Z:&0\n");
  EXPECT_EQ(Announcement("?Z;&", 7), "?Z;&7\n");
  EXPECT_EQ(Announcement("?Z:&", 1376256), "?Z:&1376256\n");
  // An empty image is one empty area: announced, paused for, and nothing sent.
  EXPECT_EQ(SplitImage(0, DownloadForm::Current).size(), 1u);
  DownloadKit kit;
  kit.MakeImage(0);
  ASSERT_EQ(kit.Download(), DownloadResult::Completed);
  EXPECT_TRUE(test::SameBytes(kit.printer.Received(), "?Z:&0\n"));
  EXPECT_EQ(kit.Script(), "OWDCODC");
}

// A host whose waits come back early (a repaint, a socket notification).
class EarlyWakingHost : public test::FakeHost {
 public:
  void WaitFor(std::int64_t ms, WaitMode mode) override { FakeHost::WaitFor(std::min<std::int64_t>(ms, 3000), mode); }
};

TEST(Download, PausesWokenEarlyStillLastUntilTheWholeSecondsAreExceeded) {
  DownloadKit kit;
  kit.MakeImage(100);
  EarlyWakingHost host;
  const DownloadRequest r = kit.Request();
  ASSERT_EQ(DownloadFontSet({host, r.settings, r.environment, r.imagePath, {}}), DownloadResult::Completed);
  EXPECT_EQ(kit.PauseBeforeOpen(2), 11000);
  EXPECT_EQ(host.WaitedMs(WaitMode::Responsive), 11000);
  EXPECT_EQ(host.WaitedMs(WaitMode::PaintOnly), 11000);
  ASSERT_EQ(host.messages.size(), 1u);
  EXPECT_EQ(host.messages[0].at, 22000);
}

}  // namespace
}  // namespace corvelle
