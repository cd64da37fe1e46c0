// SPDX-License-Identifier: MIT
// Several printers in one download, piece by piece: reading ADDR[:PORT] targets and target lists,
// the counts and lines stderr shows through a pipe and on a terminal, and the image snapshot every
// printer reads on its own.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <sstream>

#include "base/Sha256.h"
#include "cli/FleetDownload.h"
#include "cli/FleetStatus.h"
#include "cli/FleetTargets.h"
#include "support/TempDir.h"

namespace corvelle::cli {
namespace {

std::string Names(const std::vector<FleetTarget>& targets) {
  std::string text;
  for (const FleetTarget& target : targets) text += target.Name() + " ";
  return text;
}

// A list skips blanks and comments and takes each line as an address with or without a port; a
// bad line named by its number, or a list naming no printer, is a usage error of the download
// command, checked where it is run.
TEST(FleetTargets, AddressesWithAndWithoutAPortInAListThatSkipsBlanksAndCommentsAndIpv6Refused) {
  const auto targets = ParseTargetList("# site A\n\n  10.0.0.1:4001  \r\n\t10.0.0.2\r\n   # aside\n10.0.0.3:1\n"
                                       "printer.lan:0\n127.1:4001\n127.0.0.1:65535",
                                       "hosts", 4000);
  ASSERT_TRUE(targets) << targets.Failure().message;
  EXPECT_EQ(Names(*targets), "10.0.0.1:4001 10.0.0.2:4000 10.0.0.3:1 printer.lan:0 127.1:4001 127.0.0.1:65535 ");
  test::TempDir dir;
  const auto read = ReadTargetList(dir.Write("list", "10.0.0.9\n10.0.0.8:7\n"), 1, nullptr);
  ASSERT_TRUE(read) << read.Failure().message;
  EXPECT_EQ(Names(*read), "10.0.0.9:1 10.0.0.8:7 ");
  EXPECT_FALSE(ReadTargetList(dir.Write("huge", std::string(kMaxTargetListBytes + 1, '\n')), 1, nullptr));
  for (const char* bad : {"", ":4001", "host:", "host:65536", "host:-1", "host:+1", "host:4x", "[::1", "[::1]x", "[]:1"})
    EXPECT_FALSE(ParseTarget(bad, 9100).Failure().message.empty()) << bad;
  // The TCP/IP kind reaches IPv4 only: an IPv6 address is refused as such, never looked up.
  for (const char* v6 : {"::1", "[::1]:4001", "[::1]", "fe80::1", "[2001:db8::7]:9100"}) {
    const std::string error = ParseTarget(v6, 9100).Failure().message;
    EXPECT_NE(error.find("IPv6 addresses are not supported"), std::string::npos) << v6 << ": " << error;
  }
}

// Printers are told apart by the address they are served at: every numeric spelling and every
// name of one address is one printer, named as it came first, and each name is looked up once.
TEST(FleetTargets, SpellingsAndNamesOfOneAddressAreOnePrinter) {
  std::vector<FleetTarget> targets;
  for (const char* text : {"127.1:4001", "127.0.0.1:4001", "0x7f000001:4001", "0177.0.0.01:4001", "Printer.LAN:4001",
                           "printer.lan:4001", "127.0.0.1:4002", "other:4001", "PRINTER.lan:4002", "gone:1", "GONE:1",
                           "10.1:4001", "10.0.0.1:4001"})
    targets.push_back(*ParseTarget(text, 0));
  std::map<std::string, int> lookUps;
  ResolveTargets(targets, [&lookUps](const std::string& name) -> std::optional<std::uint32_t> {
    ++lookUps[name];
    if (name == "Printer.LAN") return 0x7F000001;
    if (name == "other") return 0x0A000001;
    return std::nullopt;
  });
  EXPECT_EQ(lookUps, (std::map<std::string, int>{{"Printer.LAN", 1}, {"gone", 1}, {"other", 1}}));
  EXPECT_EQ(targets[0].ServedAddress() + " " + targets[4].ServedAddress(), "127.0.0.1 127.0.0.1");
  EXPECT_EQ(targets[9].ServedAddress(), "gone") << "a name that does not resolve is served by its name";
  EXPECT_EQ(Names(WithoutRepeats(targets)), "127.1:4001 127.0.0.1:4002 other:4001 gone:1 ");
}

TEST(FleetJobs, EveryPrinterAtOnceUpTo256AndMoreTakeRoundsSaidWithWhatRaisesThem) {
  EXPECT_EQ(std::make_tuple(DefaultJobs(256), DefaultJobs(257), DefaultJobs(0)), std::make_tuple(256, 256, 1));
  // One round says nothing.
  EXPECT_EQ(RoundsNotice(256, 256, false) + RoundsNotice(257, 256, false) + "|" + RoundsNotice(2049, 1024, false) + "|" +
                RoundsNotice(48, 20, true),
            "corvelle-cli: 257 printers in 2 rounds of up to 256; --jobs 257 serves them all at once|"
            "corvelle-cli: 2049 printers in 3 rounds of up to 1024; --jobs 1024 serves the most at once|"
            "corvelle-cli: 48 printers in 3 rounds of up to 20; a higher open-file limit (ulimit -n) serves more at once");
}

TEST(FleetStatusText, CountsOptionalPartsAndFitsTheWidth) {
  EXPECT_EQ(StatusText({0, 3, 90, 7, 0, 0, 0, 18}), "Printers: 3 announcing, 90 pausing (18 s), 7 sending, 0 done, 0 failed");
  const std::string line = StatusText({5, 0, 0, 0, 2, 1, 4, 0});
  EXPECT_EQ(line, "Printers: 5 waiting, 0 announcing, 0 pausing, 0 sending, 2 done, 1 failed, 4 stopped");
  // 84 characters would wrap in 80 columns; the last column stays free for the cursor.
  EXPECT_EQ(FitToWidth(line, 85) + "|" + FitToWidth(line, 84) + "|" + FitToWidth(line, 1) + FitToWidth(line, 0),
            line + "|" + line.substr(0, 83) + "|PP");
}

DownloadStep Step(DownloadState state, std::int64_t pauseExceeds = 0) { return {state, 1, 1, 100, pauseExceeds}; }

TEST(FleetStatusOutput, ThroughAPipeEveryStateChangeAndMessageLineIsPrefixedAndQuietOnlyTheMessages) {
  // Quiet, on a terminal or not: the messages alone.
  for (const auto& [quiet, live] : {std::pair{false, false}, {true, false}, {true, true}}) {
    std::ostringstream out;
    {
      FleetStatus status({"10.0.0.1:4001", "10.0.0.2:4001"}, out, live, [] { return 80; }, quiet);
      status.Step(0, Step(DownloadState::Opening));
      status.Step(0, Step(DownloadState::Announcing));
      status.Step(1, Step(DownloadState::Opening));
      status.Message(1, "TCP/IP device is not responding\nno echo reply");
      status.Finish(1, PrinterPhase::Failed);
      status.Step(0, Step(DownloadState::Pausing, 10));
      status.Pause(0, 7);
      status.Step(0, Step(DownloadState::Ending));
      status.Finish(0, PrinterPhase::Done);
    }
    EXPECT_EQ(out.str(), quiet ? "10.0.0.2:4001: TCP/IP device is not responding\n10.0.0.2:4001: no echo reply\n"
                               : "10.0.0.1:4001: Opening the port\n10.0.0.1:4001: Announcing the image (100 bytes)\n"
                                 "10.0.0.2:4001: Opening the port\n10.0.0.2:4001: TCP/IP device is not responding\n"
                                 "10.0.0.2:4001: no echo reply\n10.0.0.2:4001: failed\n"
                                 "10.0.0.1:4001: Waiting 11 s\n10.0.0.1:4001: ok\n") << live;
  }
  // On a terminal one line is redrawn below the messages.
  std::ostringstream out;
  int columns = 200;
  FleetStatus status({"a:1", "b:1", "c:1"}, out, true, [&columns] { return columns; });
  status.Step(0, Step(DownloadState::Opening));
  status.Step(1, Step(DownloadState::Pausing, 25));
  status.Step(2, Step(DownloadState::Pausing, 10));
  status.Pause(2, 4);
  const FleetCounts counts = status.Counts();
  // The longest of the pauses still running.
  EXPECT_EQ(std::make_tuple(counts.announcing, counts.pausing, counts.longestPause), std::make_tuple(1, 2, 26));
  // What each change draws.
  const auto drawn = [&out](const std::function<void()>& change) { out.str(""); change(); return out.str(); };
  EXPECT_EQ(drawn([&] { status.Message(0, "hello"); }), "\r\033[Ka:1: hello\n\r\033[K" + StatusText(counts))
      << "the line is cleared, then drawn again";
  EXPECT_EQ(drawn([&] { status.Pause(2, 4); }), "") << "nothing changed, nothing drawn";
  columns = 20;
  EXPECT_EQ(drawn([&] { status.Finish(1, PrinterPhase::Stopped); }),
            "\r\033[K" + StatusText(status.Counts()).substr(0, 19));
  status.Step(2, Step(DownloadState::Ending));
  // The closing wait counts as a pause.
  EXPECT_EQ(std::make_pair(status.Counts().pausing, status.Counts().longestPause), std::make_pair(1, 0));
}

TEST(FleetImage, EveryOpeningReadsTheWholeSnapshotWhateverHappensToTheFile) {
  test::TempDir dir;
  const std::string path = dir.Write("FontSet.SHC", std::string(100000, 'x') + "end");
  FileHandle built = FileHandle::OpenRegularForReading(path);
  const auto snapshot = ImageSnapshot::Take(built);
  ASSERT_TRUE(snapshot) << snapshot.Failure().message;
  ASSERT_TRUE(test::WriteFile(path, "changed"));
  FileHandle first = snapshot->Open(), second = snapshot->Open();
  ASSERT_TRUE(first.IsOpen() && second.IsOpen());
  EXPECT_EQ(first.LengthAtOpen(), 100003u);
  std::string a(100003, '\0'), b(100003, '\0');
  EXPECT_EQ(first.Read(a.data(), 50000), 50000);
  // Each opening has its own offset: reading one does not move the other.
  EXPECT_EQ(second.Read(b.data(), b.size()), 100003);
  EXPECT_EQ(b.substr(99990), "xxxxxxxxxxend");
  EXPECT_EQ(first.Read(a.data() + 50000, 60000), 50003);
  EXPECT_EQ(a, b);
  // The digest of what a printer was sent, the whole image or the part a download got through,
  // is of the snapshot's bytes, not of the file's.
  for (const std::size_t bytes : {0u, 1u, 64u, 16384u, 16385u, 100002u, 100003u})
    EXPECT_EQ(snapshot->Digest(static_cast<std::int64_t>(bytes)), Sha256Hex(a.substr(0, bytes))) << bytes;
}

}  // namespace
}  // namespace corvelle::cli
