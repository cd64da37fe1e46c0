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
  const struct {
    PortSettings settings;
    test::Faults faults;
    std::size_t size;
    DownloadResult result;
    std::string recorded;  // "result target"
    std::size_t bytes;     // the image bytes the printer took
    std::string message;   // "": the port's message
  } cases[] = {
      {{.portName = "TCP/IP", .ipAddress = "10.1.2.3", .ipPort = 9100}, {}, kTwoAreas, DownloadResult::Completed,
       "ok 10.1.2.3:9100", kTwoAreas, std::string(LoadStr(IDS_FONTS_STORED))},
      // STOP in the second area: the bytes of the first area and of the chunks already taken.
      {{.portName = "COM3:"}, {.stopAfterWrite = 1 + 2688 + 1 + 50}, kTwoAreas, DownloadResult::Cancelled,
       "stopped /dev/ttyS2", (2688 + 50) * 512, "Download stopped."},  // as the window and corvelle-cli say it
      // The data connection refused: nothing of the image was sent; the port's message is kept.
      {{.portName = "LPT2:"}, {.refuseOpen = 2}, 1000, DownloadResult::Failed, "failed /dev/lp1", 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.recorded);
    RecordedKit kit;
    const std::string& image = kit.MakeImage(c.size);
    kit.settings = c.settings;
    kit.faults = c.faults;
    ASSERT_EQ(kit.Download(), c.result);
    const auto records = kit.Records();
    ASSERT_EQ(records.size(), 1u);
    const DownloadRecord& r = records[0];
    EXPECT_EQ(std::tie(r.program, r.port, r.image), std::tie("corvelle-cli", c.settings.portName, "FontSet.SHC"));
    EXPECT_EQ(r.result + " " + r.target, c.recorded);
    EXPECT_EQ(r.bytes, static_cast<std::int64_t>(c.bytes));
    EXPECT_EQ(r.sha256, Sha256Hex(image.substr(0, c.bytes)));
    EXPECT_EQ(r.message.substr(0, c.message.empty() ? kit.host.messages.back().text.size() : std::string::npos),
              c.message.empty() ? kit.host.messages.back().text : c.message);
    EXPECT_FALSE(r.message.empty());
    EXPECT_EQ(r.time.size(), 20u);
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
