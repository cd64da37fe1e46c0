// SPDX-License-Identifier: MIT
// Every download attempt leaves one history record with where it went, how it ended and the
// digest of exactly the image bytes the printer took. A download holds its printer from before
// the first open to the end: every spelling of one printer is one lock, a printer another
// download holds fails at once with nothing sent (and recorded so), or is waited for in short
// slices that STOP ends; FILE output files are held as they are chosen.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "DownloadKit.h"
#include "base/History.h"
#include "base/Sha256.h"
#include "base/StopSignal.h"
#include "download/DownloadRecord.h"
#include "download/PrinterClaim.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

struct RecordedKit : test::DownloadKit {
  RecordedKit() { history = &log; }
  std::vector<DownloadRecord> Records() const { return ReadHistory(log.Path()).records; }
  // The download through the real port kinds: FILE asks for a file at each open.
  DownloadResult DownloadToFiles() {
    settings.portName = "FILE";
    DownloadRequest request{host, settings, {}, imagePath, {}};
    request.history = &log;
    return DownloadFontSet(request);
  }
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
  for (const char* name : {"a", "b", "a", "b"}) kit.host.savePaths.push_back(kit.dir.File(name));
  ASSERT_EQ(kit.DownloadToFiles(), DownloadResult::Completed);
  EXPECT_EQ(kit.Records().at(0).target, kit.dir.File("a") + " " + kit.dir.File("b"));
}

std::string Busy(const std::string& printer) {
  return printer + " is busy: download_tests (process " + std::to_string(::getpid()) + ") is downloading to it.";
}

TEST(PrinterClaim, EverySpellingOfOnePrinterIsOneText) {
  for (const char* address : {"127.0.0.1", "127.1", "0x7f.0.0.1", "2130706433"}) {
    EXPECT_EQ(PrinterOf({.portName = "TCP/IP", .ipAddress = address, .ipPort = 4001}, {}), "127.0.0.1:4001");
  }
  // A name is the printer of its address; one the resolver does not know stays a name.
  const NameLookUp table = [](const std::string& name) -> std::optional<std::uint32_t> {
    if (name == "Printer.LAN") return 0x7f000001;
    return std::nullopt;
  };
  EXPECT_EQ(PrinterOf({.portName = "TCP/IP", .ipAddress = "Printer.LAN", .ipPort = 4001}, {}, table), "127.0.0.1:4001");
  EXPECT_EQ(PrinterOf({.portName = "TCP/IP", .ipAddress = "Other.LAN", .ipPort = 9100}, {}, table), "other.lan:9100");
  // A serial line is its device, however the profile or a link names it.
  test::TempDir dir;
  const std::string device = dir.Write("tty", "");
  std::filesystem::create_symlink(device, dir.File("link"));
  PortEnvironment environment;
  environment.devices = {{"COM3", dir.File("link")}, {"COM4", dir.Path() + "/./tty"}};
  const std::string real = std::filesystem::canonical(device).string();
  EXPECT_EQ(PrinterOf({.portName = "COM3:"}, environment), real);
  EXPECT_EQ(PrinterOf({.portName = "COM4:"}, environment), real);
  EXPECT_EQ(PrinterOf({.portName = "LPT2:"}, {}), "/dev/lp1");
  EXPECT_EQ(PrinterOf({.portName = "USB1"}, {}), PrinterOf({.portName = "USB"}, {}));
  EXPECT_EQ(PrinterOf({.portName = "FILE"}, {}), "") << "its output files are held one by one";
  EXPECT_EQ(OutputFilePrinter(dir.File("link")), real);
}

struct LockedKit : RecordedKit {
  LockedKit() {
    MakeImage(1000);
    settings = {.portName = "TCP/IP", .ipAddress = "127.0.0.1", .ipPort = 4001};
  }
  // Another download holding the printer under another spelling of its address.
  std::optional<PrinterLock> other{std::in_place, PrinterOf({.portName = "TCP/IP", .ipAddress = "127.1", .ipPort = 4001}, {})};
};

TEST(PrinterClaim, APrinterAnotherDownloadHoldsFailsAtOnceWithNothingSent) {
  LockedKit kit;
  ASSERT_EQ(kit.other->GetState(), PrinterLock::State::Held);
  EXPECT_EQ(kit.Download(), DownloadResult::Failed);
  EXPECT_EQ(test::Script(kit.printer), "") << "not even opened";
  EXPECT_EQ(kit.Messages(), Busy("127.0.0.1:4001") + " Nothing was sent.");
  EXPECT_TRUE(kit.host.waits.empty());
  EXPECT_FALSE(kit.host.progress.created);
  const auto records = kit.Records();
  ASSERT_EQ(records.size(), 1u);
  EXPECT_EQ(records[0].result, "failed");
  EXPECT_EQ(records[0].message, kit.Messages());
  // The window stores a host name where a run names the number: still the printer held.
  kit.host.messages.clear();
  kit.settings.ipAddress = "localhost";
  EXPECT_EQ(kit.Download(), DownloadResult::Failed);
  EXPECT_EQ(kit.Messages(), Busy("127.0.0.1:4001") + " Nothing was sent.");
  EXPECT_EQ(test::Script(kit.printer), "");
  // Once the other download has ended, the printer is served.
  kit.other.reset();
  kit.host.messages.clear();
  EXPECT_EQ(kit.Download(), DownloadResult::Completed);
  EXPECT_EQ(kit.printer.Received(), "?Z:&1000\n" + kit.image);
}

TEST(PrinterClaim, AWaitingDownloadStartsWhenTheOtherEndsAndStopEndsTheWait) {
  {
    LockedKit kit;
    kit.waitForPrinter = true;
    kit.host.At(3000, [&kit] { kit.other.reset(); });
    EXPECT_EQ(kit.Download(), DownloadResult::Completed);
    ASSERT_FALSE(kit.openTimes.empty());
    EXPECT_EQ(kit.openTimes.front(), 3000) << "the first open comes with the first look after the other ended";
    EXPECT_EQ(kit.host.messages.front().text, Busy("127.0.0.1:4001") + " Waiting for it to finish...");
    // Short sleeps on the host, responsive to STOP: no spinning, no long wait past the release.
    for (std::size_t i = 0; i < 12; ++i) {
      EXPECT_EQ(kit.host.waits[i].ms, 250);
      EXPECT_EQ(kit.host.waits[i].mode, WaitMode::Responsive);
    }
    EXPECT_EQ(kit.printer.Received(), "?Z:&1000\n" + kit.image);
  }
  {
    LockedKit kit;
    kit.waitForPrinter = true;
    StopSignal stop;
    kit.host.stop = &stop;
    kit.host.At(2000, [&stop] { stop.Raise(); });
    EXPECT_EQ(kit.Download(), DownloadResult::Cancelled);
    EXPECT_EQ(kit.host.now, 2000);
    EXPECT_EQ(test::Script(kit.printer), "");
    ASSERT_EQ(kit.Records().size(), 1u);
    EXPECT_EQ(kit.Records()[0].result, "stopped");
  }
}

TEST(PrinterClaim, FileOutputsAreHeldAsTheyAreChosen) {
  LockedKit kit;
  const std::string out = kit.dir.File("out.bin");
  // The same file chosen for both opens is held once, by this download.
  kit.host.savePaths = {out, kit.dir.Path() + "/./out.bin"};
  EXPECT_EQ(kit.DownloadToFiles(), DownloadResult::Completed) << kit.Messages();
  EXPECT_TRUE(test::ReadFile(out) == kit.image);
  // A file another download is writing is refused when it is chosen.
  kit.host.messages.clear();
  const PrinterLock writer(OutputFilePrinter(out));
  ASSERT_EQ(writer.GetState(), PrinterLock::State::Held);
  kit.host.savePaths = {out, out};
  ASSERT_TRUE(test::WriteFile(out, "kept"));
  EXPECT_EQ(kit.DownloadToFiles(), DownloadResult::Failed);
  EXPECT_EQ(kit.Messages(), Busy(OutputFilePrinter(out)) + " Nothing was sent.");
  EXPECT_EQ(test::ReadFile(out), "kept");
  EXPECT_EQ(kit.Records().back().target, out) << "the record names the file chosen";
  EXPECT_EQ(kit.Records().back().result, "failed");
}

}  // namespace
}  // namespace corvelle
