// SPDX-License-Identifier: MIT
// Every download attempt leaves one history record with where it went, how it ended and the
// digest of exactly the image bytes the printer took.
#include <gtest/gtest.h>

#include "DownloadKit.h"
#include "base/History.h"
#include "base/Sha256.h"
#include "download/DownloadRecord.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

using test::DownloadKit;

struct RecordedKit : DownloadKit {
  RecordedKit() { history = &log; }
  std::vector<DownloadRecord> Records() const { return ReadHistory(log.Path()).records; }
  DownloadHistory log{"corvelle-cli", dir.File("state/corvelle/downloads.jsonl")};
};

TEST(DownloadRecord, EachEndIsRecordedWithTheDigestOfTheBytesTaken) {
  constexpr std::size_t kTwoAreas = 0x200000;
  {
    RecordedKit kit;
    const std::string& image = kit.MakeImage(kTwoAreas);
    kit.settings = {.portName = "TCP/IP", .ipAddress = "10.1.2.3", .ipPort = 9100};
    ASSERT_EQ(kit.Download(), DownloadResult::Completed);
    const auto records = kit.Records();
    ASSERT_EQ(records.size(), 1u);
    const DownloadRecord& r = records[0];
    EXPECT_EQ(std::tie(r.program, r.port, r.target, r.image, r.result),
              std::tie("corvelle-cli", "TCP/IP", "10.1.2.3:9100", "FontSet.SHC", "ok"));
    EXPECT_EQ(r.bytes, static_cast<std::int64_t>(kTwoAreas));
    EXPECT_EQ(r.sha256, Sha256Hex(image));
    EXPECT_EQ(r.message, LoadStr(IDS_FONTS_STORED));
    EXPECT_EQ(r.time.size(), 20u);
  }
  {
    // STOP in the second area: the bytes of the first area and of the chunks already taken.
    RecordedKit kit;
    const std::string& image = kit.MakeImage(kTwoAreas);
    kit.settings.portName = "COM3:";
    kit.faults.stopAfterWrite = 1 + 2688 + 1 + 50;
    ASSERT_EQ(kit.Download(), DownloadResult::Cancelled);
    const auto records = kit.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].result, "stopped");
    EXPECT_EQ(records[0].message, "Download stopped.");  // as the window and corvelle-cli say it
    EXPECT_EQ(records[0].target, "/dev/ttyS2");
    EXPECT_EQ(records[0].bytes, (2688 + 50) * 512);
    EXPECT_EQ(records[0].sha256, Sha256Hex(image.substr(0, (2688 + 50) * 512)));
  }
  {
    // The data connection refused: nothing of the image was sent; the port's message is kept.
    RecordedKit kit;
    kit.MakeImage(1000);
    kit.settings.portName = "LPT2:";
    kit.faults.refuseOpen = 2;
    ASSERT_EQ(kit.Download(), DownloadResult::Failed);
    const auto records = kit.Records();
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(std::tie(records[0].result, records[0].target), std::tie("failed", "/dev/lp1"));
    EXPECT_EQ(records[0].bytes, 0);
    EXPECT_EQ(records[0].sha256, Sha256Hex(""));
    EXPECT_EQ(records[0].message.substr(0, kit.host.messages.back().text.size()), kit.host.messages.back().text);
    EXPECT_FALSE(records[0].message.empty());
  }
}

TEST(DownloadRecord, TargetsNameTheDeviceTheFilesOrTheAddress) {
  PortEnvironment env;
  env.devices = {{"com3", "/dev/ttyUSB0"}};
  EXPECT_EQ(DownloadTarget({.portName = "COM3:"}, env, {}), "/dev/ttyUSB0");
  EXPECT_EQ(DownloadTarget({.portName = "COM12:"}, env, {}), "/dev/ttyS11");
  EXPECT_EQ(DownloadTarget({.portName = "/dev/pts/7"}, env, {}), "/dev/pts/7");
  EXPECT_EQ(DownloadTarget({.portName = "FILE"}, env, {"/a", "/b c"}), "/a /b c");
  EXPECT_EQ(DownloadTarget({.portName = "USB1"}, env, {}), "USB1");
  EXPECT_EQ(DownloadTarget({.portName = "TCP/IP"}, env, {}), "192.168.1.100:4001");

  // The real FILE kind: each file once, in the order the opens asked for them.
  RecordedKit kit;
  kit.MakeImage(100);
  kit.settings.portName = "FILE";
  for (const char* name : {"a", "b", "a", "b"}) kit.host.savePaths.push_back(kit.dir.File(name));
  DownloadRequest request{kit.host, kit.settings, {}, kit.imagePath, {}};
  request.history = &kit.log;
  ASSERT_EQ(DownloadFontSet(request), DownloadResult::Completed);
  EXPECT_EQ(kit.Records().at(0).target, kit.dir.File("a") + " " + kit.dir.File("b"));
}

}  // namespace
}  // namespace corvelle
