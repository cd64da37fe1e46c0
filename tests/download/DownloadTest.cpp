// SPDX-License-Identifier: MIT
// The downloads and Set COM port with the fake clock and the recording printer: announcements,
// areas, chunks, opens, pauses, the closing message, progress, the open arguments, the serial queue
// wait; STOP in every pause and area, held writes and drains, failed opens, writes and reads; the
// set-up command's bytes and its failures. Beyond Windows: every attempt leaves one history
// record with where it went, how it ended and the digest of exactly the image bytes the printer
// took; a download holds its printer from before the first open to the end: every spelling of one
// printer is one lock, a printer another download holds fails at once with nothing sent (and
// recorded so), or is waited for in short slices that STOP ends; FILE output files are held as
// they are chosen.
#include "DownloadKit.h"
#include "download/ImageChunks.h"
#include "download/SetComPort.h"
#include "resources/Strings.h"
#ifndef _WIN32
#include <filesystem>

#include "base/History.h"
#include "base/Sha256.h"
#include "base/StopSignal.h"
#include "download/DownloadRecord.h"
#include "download/PrinterClaim.h"
#endif

namespace corvelle {
namespace {

using test::DownloadKit;

struct SequenceCase {
  const char* port;
  std::size_t size;
  bool legacy;
  std::vector<std::string> announcements;
  std::string script;  // see test::Script
  std::vector<std::pair<std::size_t, int>> positions;  // chunk index, bar position after it
};

// Each chunk counts 512 bytes against the whole image, so the bar counts both areas and passes
// 100 at the end of an image that does not end on a chunk boundary.
TEST(Download, SendsEachAreaAfterItsAnnouncementOnFreshOpensWithThePauses) {
  for (const SequenceCase& c : std::vector<SequenceCase>{
           {"COM12:", 0x200000, false, {"?Z:&1376256\n", "?Z;&720896\n"}, "OW12DCO2688*W512DCOW11DCO1408*W512DC",
            {{2687, 65}, {2688, 65}, {4095, 99}}},
           {"LPT1:", 100000, false, {"?Z:&100000\n"}, "OW11DCO195*W512W160DC", {{0, 0}, {194, 99}, {195, 100}}},
           {"TCP/IP", 0x150000, false, {"?Z:&1376256\n"}, "OW12DCO2688*W512DC", {}},
           {"COM2:", 0x150001, false, {"?Z:&1376256\n", "?Z;&1\n"}, "OW12DCO2688*W512DCOW6DCOW1DC", {}},
           {"USB1", 1000, false, {"?Z:&1000\n"}, "OW9DCOW512W488DC", {{0, 51}, {1, 102}}},
           {"USB1", 0x200000, false, {"?Z:&1376256\n", "?Z;&720896\n"}, "OW12DCO2688*W512DCOW11DCO1408*W512DC", {}},
           {"FILE", 0, false, {"?Z:&0\n"}, "OW6DCODC", {}},
           {"COM12:", 300000, true, {"?Z:&300000\n"}, "OW11DCO585*W512W480DC", {}},
           {"TCP/IP", 0x150200, true, {"?Z:&1376768\n"}, "OW12DCO2689*W512DC", {}}}) {
    SCOPED_TRACE(c.size);
    DownloadKit kit;
    const std::string& image = kit.MakeImage(c.size);
    const std::size_t areas = c.announcements.size();
    kit.settings = {.portName = c.port, .speedIndex = 4, .xonXoff = 0, .hardwareFlow = 0};
    // A serial queue of 10 bytes is short enough for the next chunk (the early ends show 11 is
    // not); the bar counts them as not yet taken, so it stops short of 100 at the end.
    const bool serial = std::string(c.port).starts_with("COM");
    kit.printer.queued = [serial] { return serial ? 10L : 0L; };
    // STOP during the final wait changes nothing: the transfer is over.
    kit.host.At(areas == 2 ? 50000 : 15000, [&kit] { kit.host.PressStop(); });
    ASSERT_EQ(kit.Download(c.legacy), DownloadResult::Completed);

    // Every byte once, in order, each area after its announcement (one write of its own) in
    // 512-byte chunks.
    const std::string expected = areas == 1 ? c.announcements[0] + image
                                            : c.announcements[0] + image.substr(0, 0x150000) +
                                                  c.announcements[1] + image.substr(0x150000);
    EXPECT_TRUE(kit.printer.Received() == expected);
    EXPECT_EQ(test::Script(kit.printer), c.script);

    // 11 s after each announcement, 26 s between the areas, 11 s (painting only) at the end.
    EXPECT_EQ(kit.openTimes,
              (areas == 2 ? std::vector<std::int64_t>{0, 11000, 37000, 48000} : std::vector<std::int64_t>{0, 11000}));
    EXPECT_EQ(kit.host.WaitedMs(WaitMode::PaintOnly), 11000);
    ASSERT_EQ(kit.Messages(), LoadStr(c.legacy ? IDS_WAIT_AUTORESTART : IDS_FONTS_STORED));
    EXPECT_EQ(std::pair(kit.host.messages[0].style, kit.host.messages[0].at),
              std::pair(MessageStyle::Plain, kit.printer.events.back().at + 11000));

    const test::ProgressRecord& p = kit.host.progress;
    EXPECT_TRUE(p.created && p.destroyed);
    EXPECT_EQ(p.statuses, std::vector{std::string(LoadStr(IDS_END_OF_PROCESS))});
    // Each pause counts its seconds down, one report a second; STOP can end all but the last.
    const std::vector<int> pauses = areas == 2 ? std::vector{11, 26, 11, 11} : std::vector{11, 11};
    std::vector<std::pair<int, bool>> countdown;
    for (std::size_t i = 0; i < pauses.size(); ++i) {
      for (int left = pauses[i]; left > 0; --left) countdown.emplace_back(left, i + 1 < pauses.size());
    }
    EXPECT_EQ(std::pair(p.pauses, p.pauseEnds), std::pair(countdown, static_cast<int>(pauses.size())));
    // Every open asks for both flow controls and the output name, whatever is stored.
    for (const PortOpenArgs& a : kit.printer.opens)
      EXPECT_EQ(test::OpenArgsText(a), c.port + std::string(" baud=5 xon=1 cts=1 mask=0 out=fontext.out/fontext.out"));
    const std::size_t chunks = kit.writes - areas;
    ASSERT_EQ(p.positions.size(), chunks);
    for (const auto& [chunk, position] : c.positions) EXPECT_EQ(p.positions[chunk], position) << "chunk " << chunk;
  }
}

// Over a link that holds the whole area in its buffers, the bar follows what the printer took,
// not what was queued, and the 26-second pause starts only once the area has left: the drain
// waits for the queue to empty and the bar moves meanwhile. A serial queue that stops moving for
// 10 s fails the transfer (not a stop), with the port's message.
TEST(DownloadProgress, FollowsWhatThePrinterTookAndThePauseStartsWhenTheAreaHasLeft) {
  DownloadKit kit;
  kit.MakeImage(0x200000);
  kit.settings.portName = "TCP/IP";
  kit.faults.drainsWaitForQueue = true;
  // The area's bytes stay queued until 20 s (9 s after the area was written), then 100 bytes a
  // millisecond leave; area 2 leaves at once.
  kit.printer.queued = [&kit] {
    const std::int64_t area = std::min<std::int64_t>(std::max(kit.writes - 1, 0) * 512LL, 0x150000);
    return static_cast<long>(std::max<std::int64_t>(area - std::max<std::int64_t>(kit.host.now - 20000, 0) * 100, 0));
  };
  ASSERT_EQ(kit.Download(), DownloadResult::Completed);
  const std::vector<int>& p = kit.host.progress.positions;
  ASSERT_GT(p.size(), 2688u + 60);
  for (std::size_t i = 0; i < 2688; ++i) ASSERT_EQ(p[i], 0) << "chunk " << i << ": nothing was taken yet";
  EXPECT_TRUE(std::is_sorted(p.begin(), p.end()));
  EXPECT_EQ(p[2688], 1) << "the bar moves by the point while the area leaves";
  EXPECT_EQ(p[2688 + 64], 65) << "the whole area has left";
  EXPECT_EQ(p.back(), 100);
  // 0x150000 bytes at 100 a millisecond have left by 20 s + 13.8 s; only then the 26 s pause.
  const std::int64_t left = 20000 + (0x150000 + 99) / 100;
  ASSERT_EQ(kit.openTimes.size(), 4u);
  EXPECT_TRUE(kit.openTimes[2] >= left + 26000 && kit.openTimes[2] <= left + 26000 + 200) << kit.openTimes[2];

  // The time a download still needs: every pause still ahead counted whole, the final wait always,
  // the pause under way by what is left of it, and the bytes at the rate given (none when unknown).
  const auto plan = PlanDownload(SplitImage(0x200000, DownloadForm::Current));
  const auto single = PlanDownload(SplitImage(1000, DownloadForm::Current));
  EXPECT_EQ(SecondsLeft(single, 0, 0, 1000, 0), 11 + 11);
  EXPECT_EQ(SecondsLeft(plan, 0, 0, 0x200000, 0), 11 + 26 + 11 + 11);
  EXPECT_EQ(SecondsLeft(plan, 0, 0, 0x200000, 0x200000 / 4.0), 11 + 26 + 11 + 11 + 4);
  // In the first pause (step 3 under way) with 2.5 s of it left.
  EXPECT_EQ(SecondsLeft(plan, 3, 2500, 0x200000, 0), 3 + 26 + 11 + 11);
  // Sending the second area: no pause ahead but the final wait; part of a second counts whole.
  EXPECT_EQ(SecondsLeft(plan, plan.size(), 0, 100, 1000), 11 + 1);
  EXPECT_EQ(SecondsLeft(plan, plan.size(), 0, -5, 1000), 11);
}

constexpr std::size_t kTwoAreas = 0x200000;

struct EarlyEnd {
  const char* name;
  std::size_t size;
  test::Faults faults;
  std::string script;  // see test::Script
  std::size_t positions;
  std::int64_t endsAt;  // fake time when the download returns
  std::string message;  // see DownloadKit::Messages
};

TEST(DownloadEarlyEnd, SendsNothingMoreShowsNoEndMessagesAndReleasesEverything) {
  constexpr std::size_t kChunksPerRead = kImageReadAhead / SEND_CHUNK;
  const std::string refused = test::FakePrinter().refuseMessage, area1 = "OW12DCO2688*W512DC";
  for (const EarlyEnd& c : std::vector<EarlyEnd>{
           // STOP (a Cancelled end; anything else is Failed) in each pause, noticed when the host next
           // wakes, during each area, after the last chunk, in the serial queue wait.
           {"FirstPause", kTwoAreas, {.stopAt = 5000}, "OW12DC", 0, 5000, ""},
           {"PauseBetweenAreas", kTwoAreas, {.stopAt = 20000}, area1, 2688, 20000, ""},
           {"SecondAnnouncementPause", kTwoAreas, {.stopAt = 40000}, area1 + "OW11DC", 2688, 40000, ""},
           {"FirstArea", kTwoAreas, {.stopAfterWrite = 1 + 100}, "OW12DCO100*W512PDC", 99, 11000, ""},
           {"SecondArea", kTwoAreas, {.stopAfterWrite = 1 + 2688 + 1 + 50}, area1 + "OW11DCO50*W512PDC", 2688 + 49,
            48000, ""},
           {"LastChunk", 100000, {.stopAfterWrite = 1 + 196}, "OW11DCO195*W512W160PDC", 195, 11000, ""},
           {"QueueWait", 100000, {.stopAt = 11500, .queued = 11}, "OW11DCOW512PDC", 0, 11500, ""},
           // A write or a drain that flow control holds ends on STOP as STOP.
           {"HeldWrite", 100000, {.stopAt = 12000, .failWrite = 4, .holdFailedWrites = true},
            "OW11DCO2*W512PDC", 2, 12000, ""},
           {"HeldDrain", 100000, {.stopAt = 3000, .holdDrains = true}, "OW11DPDC", 0, 3000, ""},
           // Each of the four opens refused: the port's message only.
           {"FirstOpen", kTwoAreas, {.refuseOpen = 1}, "O", 0, 0, refused},
           {"SecondOpen", kTwoAreas, {.refuseOpen = 2}, "OW12DCO", 0, 11000, refused},
           {"ThirdOpen", kTwoAreas, {.refuseOpen = 3}, area1 + "O", 2688, 37000, refused},
           {"FourthOpen", kTwoAreas, {.refuseOpen = 4}, area1 + "OW11DCO", 2688, 48000, refused},
           // A failed write is discarded, not drained; nothing more is sent or waited for.
           {"AnnouncementWrite", 1000, {.failWrite = 1}, "OPC", 0, 0, ""},
           {"ChunkWrite", kTwoAreas, {.failWrite = 6}, "OW12DCO4*W512PC", 4, 11000, ""},
           {"NoProgressWindow", 1000, {.noProgressWindow = true}, "OC", 0, 0,
            "The progress window cannot be shown; nothing was sent."},
           // The image shrinks while it is sent: the chunks of the block read before go out, no
           // stale buffer bytes after them.
           {"ImageShrinks", 100000, {.shrinkAfterWrite = 3}, "OW11DCO" + std::to_string(kChunksPerRead) + "*W512PC",
            kChunksPerRead, 11000,
            "Error reading font set image\n<image> (the file ended before the length it was announced with)"},
           {"MissingImage", 1000, {.imageName = "missing"}, "", 0, 0,
            "Error opening font set image\n<image> (No such file or directory)"},
           {"ImageIsAFolder", 1000, {.imageName = "."}, "", 0, 0,
            "Error opening font set image\n<image> (Is a directory)"}}) {
    SCOPED_TRACE(c.name);
    DownloadKit kit;
    kit.MakeImage(c.size);
    kit.faults = c.faults;
    const bool stopped = c.faults.stopAt >= 0 || c.faults.stopAfterWrite;
    EXPECT_EQ(kit.Download(), stopped ? DownloadResult::Cancelled : DownloadResult::Failed);
    EXPECT_EQ(std::tuple(test::Script(kit.printer), kit.host.progress.positions.size(), kit.host.now, kit.Messages()),
              std::tuple(c.script, c.positions, c.endsAt, c.message));
    EXPECT_TRUE(kit.host.progress.statuses.empty() && (!kit.host.progress.created || kit.host.progress.destroyed));
    EXPECT_EQ(kit.host.busyChanges, (std::vector{true, false}));
  }
}

TEST(SetComPort, SendsAtTheOldSettingsAndAdoptsTheNormalisedChoiceOnlyWhenTheCommandLeft) {
  EXPECT_EQ(SetComCommand({5, 2, 0, 1}), "?A7&5,1,0,1\r\n");  // odd parity is code 1
  struct Case {
    const char* name;
    test::Faults faults;  // stopAt: Ctrl-C
    std::string script;
    std::int64_t endsAt;
    std::string message;
  };
  for (const Case& c : std::vector<Case>{
           {"Sent", {}, "OW13DC", 0, std::string(LoadStr(IDS_WAIT_AUTORESTART))},
           {"RefusedOpen", {.refuseOpen = 1}, "O", 0, "The device is not open."},
           {"FailedWrite", {.failWrite = 1}, "OPC", 0, ""},
           {"BlockedLine", {.holdDrains = true}, "OW13DPC", 10100,
            "The printer did not take the command: the serial line stayed blocked. Nothing was changed."},
           {"CtrlC", {.stopAt = 500, .holdDrains = true}, "OW13DPC", 500, ""},
           // The command was written, but the connection was found lost at the close.
           {"LostAtClose", {.lostAtClose = true}, "OW13DC", 0, ""}}) {
    SCOPED_TRACE(c.name);
    DownloadKit kit;
    kit.faults = c.faults;
    kit.settings = {.portName = "COM3:", .speedIndex = 1, .xonXoff = 1, .hardwareFlow = 0};
    const auto stop = [&] { return c.faults.stopAt >= 0 && kit.host.now >= c.faults.stopAt; };
    // Nothing selected, edited profiles: 9600, none, 8, 1.
    const Result<SerialPositions> result = SetComPort({kit.host, kit.Environment(), kit.settings, {6, 3, 2, -1}, stop});
    const bool sent = c.script == "OW13DC" && !c.faults.lostAtClose;
    EXPECT_EQ(static_cast<bool>(result), sent);
    EXPECT_TRUE(!result || *result == (SerialPositions{2, 0, 1, 0}));
    EXPECT_EQ(test::OpenArgsText(kit.printer.opens.at(0)), "COM3: baud=2 xon=1 cts=0 mask=1 out=/");
    EXPECT_EQ(std::tuple(test::Script(kit.printer), kit.printer.Received(), kit.host.now, kit.Messages()),
              std::tuple(c.script, c.script.find('W') != std::string::npos ? "?A7&2,0,1,0\r\n" : "", c.endsAt, c.message));
    EXPECT_EQ(kit.host.busyChanges, (c.script == "O" ? std::vector<bool>{} : std::vector{true, false}));
  }
}

#ifndef _WIN32
struct RecordedKit : DownloadKit {
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
    EXPECT_EQ(std::tuple(r.result + " " + r.target, r.bytes, r.sha256),
              std::tuple(c.recorded, static_cast<std::int64_t>(c.bytes), Sha256Hex(image.substr(0, c.bytes))));
    EXPECT_EQ(r.message.substr(0, c.message.empty() ? kit.host.messages.back().text.size() : std::string::npos),
              c.message.empty() ? kit.host.messages.back().text : c.message);
    EXPECT_EQ(r.time.size(), 20u);
  }
  // The target names the device, the files or the address.
  PortEnvironment env;
  env.devices = {{"com3", "/dev/ttyUSB0"}};
  EXPECT_EQ(DownloadTarget({.portName = "COM3:"}, env, {}) + "|" + DownloadTarget({.portName = "COM12:"}, env, {}) + "|" +
                DownloadTarget({.portName = "/dev/pts/7"}, env, {}) + "|" + DownloadTarget({.portName = "USB1"}, env, {}),
            "/dev/ttyUSB0|/dev/ttyS11|/dev/pts/7|USB1");
  EXPECT_EQ(DownloadTarget({.portName = "FILE"}, env, {"/a", "/b c"}), "/a /b c");

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
  const NameLookUp table = [](const std::string& name) {
    return name == "Printer.LAN" ? std::optional<std::uint32_t>(0x7f000001) : std::nullopt;
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
  EXPECT_EQ(PrinterOf({.portName = "COM3:"}, environment) + " " + PrinterOf({.portName = "COM4:"}, environment), real + " " + real);
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
  EXPECT_TRUE(kit.host.waits.empty() && !kit.host.progress.created);
  ASSERT_EQ(kit.Records().size(), 1u);
  EXPECT_EQ(kit.Records()[0].result + " " + kit.Records()[0].message, "failed " + kit.Messages());
  // The window stores a host name where a run names the number: still the printer held.
  kit.host.messages.clear();
  kit.settings.ipAddress = "localhost";
  EXPECT_EQ(kit.Download(), DownloadResult::Failed);
  EXPECT_EQ(kit.Messages() + test::Script(kit.printer), Busy("127.0.0.1:4001") + " Nothing was sent.");

  // File outputs are held as they are chosen.
  kit.host.messages.clear();
  const std::string out = kit.dir.File("out.bin");
  kit.host.savePaths = {out, kit.dir.Path() + "/./out.bin"};
  EXPECT_EQ(kit.DownloadToFiles(), DownloadResult::Completed) << kit.Messages();
  EXPECT_TRUE(test::ReadFile(out) == kit.image);
  kit.host.messages.clear();
  const PrinterLock writer(OutputFilePrinter(out));
  ASSERT_EQ(writer.GetState(), PrinterLock::State::Held);
  kit.host.savePaths = {out, out};
  ASSERT_TRUE(test::WriteFile(out, "kept"));
  EXPECT_EQ(kit.DownloadToFiles(), DownloadResult::Failed);
  EXPECT_EQ(kit.Messages(), Busy(OutputFilePrinter(out)) + " Nothing was sent.");
  EXPECT_EQ(test::ReadFile(out), "kept");
  EXPECT_EQ(kit.Records().back().result + " " + kit.Records().back().target, "failed " + out) << "the file chosen";
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
    EXPECT_TRUE(std::all_of(kit.host.waits.begin(), kit.host.waits.begin() + 12,
                            [](const test::RecordedWait& w) { return w.ms == 250 && w.mode == WaitMode::Responsive; }));
    EXPECT_EQ(kit.printer.Received(), "?Z:&1000\n" + kit.image);
  }
  {
    LockedKit kit;
    kit.waitForPrinter = true;
    StopSignal stop;
    kit.host.stop = &stop;
    kit.host.At(2000, [&stop] { stop.Raise(); });
    EXPECT_EQ(kit.Download(), DownloadResult::Cancelled);
    EXPECT_EQ(std::pair(kit.host.now, test::Script(kit.printer)), std::pair(std::int64_t{2000}, std::string()));
    ASSERT_EQ(kit.Records().size(), 1u);
    EXPECT_EQ(kit.Records()[0].result, "stopped");
  }
}

#endif

}  // namespace
}  // namespace corvelle
