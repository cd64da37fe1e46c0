// SPDX-License-Identifier: MIT
// corvelle-cli download on a terminal: the progress line's text, which keeps the percentage and a
// countdown's seconds however narrow; a progress line that fits the terminal's width as it
// changes and counts the pauses down, plain lines on a dumb terminal, nothing but messages with
// -q; and the download history it leaves, also when the history cannot be written.
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>

#include "CliKit.h"
#include "base/FileWrite.h"
#include "base/History.h"
#include "base/Paths.h"
#include "cli/StatusLine.h"

namespace corvelle {
namespace {

using namespace cli;
using namespace test;

// Each drawing of the progress line: what follows a carriage return and "erase to the end of
// the line", up to the next carriage return or line feed.
std::vector<std::string> Drawn(const std::string& text) {
  std::vector<std::string> pieces;
  const std::string redraw = "\r\033[K";
  for (std::size_t at = text.find(redraw); at != std::string::npos; at = text.find(redraw, at)) {
    at += redraw.size();
    pieces.push_back(text.substr(at, text.find_first_of("\r\n", at) - at));
  }
  return pieces;
}

std::vector<std::string> FileDownload(const CliKit& kit) {
  return {"download", "--port", "FILE", "--output", kit.dir.File("one.out"), "--output", kit.dir.File("two.out")};
}

TEST(ProgressLine, ABarThePercentageAndTheStepWhenThereIsRoomAndNarrowWidthsKeepThePercentageAndTheCountdown) {
  EXPECT_EQ(ProgressLine(25, "area 1", 200), "[#####               ] 25%  area 1");
  EXPECT_EQ(ProgressLine(-1, "", 200) + ProgressLine(150, "", 200), "[                    ] 0%[####################] 100%");
  const std::string sending = "Sending area 1 of 2 (1376256 bytes)";
  // The longest step at 79 columns (an 80-column terminal) whole, with the full bar.
  EXPECT_EQ(ProgressLine(100, sending, 79), "[####################] 100%  " + sending);
  for (std::size_t width = 0; width < 80; ++width) {
    for (const std::string& step : {PauseText(18), sending}) {
      const std::string line = ProgressLine(100, step, width);
      EXPECT_LE(line.size(), width) << line;
      EXPECT_TRUE(width < 4 || line.find("100%") != std::string::npos) << width << ": " << line;
      EXPECT_TRUE(width < 10 || step == sending || line.ends_with(" 18 s")) << width << ": " << line;
    }
  }
  // The step loses whole words from its start.
  EXPECT_EQ(ProgressLine(50, PauseText(8), 30) + "|" + ProgressLine(50, PauseText(8), 12) + "|" +
                ProgressLine(50, PauseText(8), 7) + "|" + ProgressLine(50, "Opening", 12),
            "[#####     ] 50%  printer: 8 s|50%  8 s|50%|50%  Opening");
}

// REAL TIME: a whole one-area download of about 22 s, with a history that cannot be written.
TEST(CliTerminal, TheProgressLineFitsTheWidthAsItChangesCountsThePausesDownAndAHistoryProblemFailsNothing) {
  CliKit kit;
  kit.SelectFont(1000);
  const std::string folder = ParentFolder(kit.HistoryPath());
  ASSERT_TRUE(MakeFolders(folder, 0700) && ::chmod(folder.c_str(), 0777) == 0);
  bool resized = false;
  const Finished run = kit.RunOnTerminal(FileDownload(kit), 80, "xterm", [&](const std::string& seen, int master) {
    const winsize narrow{24, 30, 0, 0};
    if (!resized && seen.find("printer: 10 s") != std::string::npos) resized = ::ioctl(master, TIOCSWINSZ, &narrow) == 0;
    return false;
  });
  EXPECT_EQ(run.exit, 0) << run.err;
  ASSERT_TRUE(resized);

  std::vector<int> countdown;
  for (const std::string& piece : Drawn(run.err)) {
    // However narrow, every drawing has its percentage; after the resize, the narrower width.
    const std::size_t percent = piece.find('%');
    EXPECT_TRUE(percent != std::string::npos && percent > 0 && std::isdigit(static_cast<unsigned char>(piece[percent - 1])))
        << piece;
    EXPECT_LE(piece.size(), !countdown.empty() && countdown.back() <= 9 ? 29u : 79u) << piece;
    // A countdown's seconds end the line however few of its words fit ("Waiting 11 s", the
    // step that starts each pause, reads as the countdown's first second).
    if (!piece.ends_with(" s")) continue;
    const int seconds = std::stoi(piece.substr(piece.rfind(' ', piece.size() - 3) + 1));
    if (countdown.empty() || countdown.back() != seconds) countdown.push_back(seconds);
  }
  // The pause after the announcement, then the final wait, each counted down a second at a time.
  EXPECT_EQ(countdown, (std::vector<int>{11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1, 11, 10, 9, 8, 7, 6, 5, 4, 3, 2, 1})) << run.err;

  // The line is drawn in place; the messages stand on lines of their own, each once.
  const std::string said = "The download history cannot be written: refusing folder " + folder +
                           ": group or others may write to it\r\n";
  EXPECT_TRUE(run.err.ends_with("\r\nFonts will be stored in printer when green led turns on again.\r\n" + said))
      << run.err;
  for (const std::string& once : {std::string("Upgrading printer..."), said})
    EXPECT_TRUE(run.err.find(once) != std::string::npos && run.err.find(once) == run.err.rfind(once)) << run.err;
  EXPECT_TRUE(std::count(run.err.begin(), run.err.end(), '\n') <= 6 && !test::FileExists(kit.HistoryPath())) << run.err;
}

TEST(CliTerminal, QuietShowsOnlyTheMessagesAndADumbTerminalGetsPlainLines) {
  CliKit kit;
  kit.SelectFont(1000);
  const auto announced = [&](const std::string&, int) { return test::ReadFile(kit.dir.File("one.out")).size() > 0; };
  for (const bool before : {true, false}) {
    std::vector<std::string> quiet = FileDownload(kit);
    quiet.insert(before ? quiet.begin() : quiet.end(), before ? "-q" : "--quiet");
    const Finished q = kit.RunOnTerminal(quiet, 80, "xterm", announced);
    EXPECT_EQ(std::tie(q.exit, q.err), std::make_tuple(1, std::string("Download stopped.\r\n")));
    // This run's output would make the watch fire before the next run has even started.
    ASSERT_EQ(::unlink(kit.dir.File("one.out").c_str()), 0);
  }
  const Finished dumb = kit.RunOnTerminal(FileDownload(kit), 80, "dumb", [](const std::string& seen, int) {
    return seen.find("Waiting 11 s\r\n") != std::string::npos;
  });
  EXPECT_EQ(dumb.err.find('\033'), std::string::npos) << dumb.err;

  // Each attempt is in the history: stopped in the first pause, before any image byte.
  const std::vector<DownloadRecord> records = ReadHistory(kit.HistoryPath()).records;
  ASSERT_EQ(records.size(), 3u);
  for (const DownloadRecord& r : records) {
    EXPECT_EQ(std::tie(r.program, r.port, r.result, r.bytes, r.target),
              std::make_tuple("corvelle-cli", "FILE", "stopped", 0, kit.dir.File("one.out")));
  }
}

// Records of a history with times of their own.
void WriteHistory(CliKit& kit, const std::vector<DownloadRecord>& records) {
  std::string text;
  for (const DownloadRecord& record : records) text += FormatRecord(record);
  MakeFolders(ParentFolder(kit.HistoryPath()), 0700);
  kit.dir.Write("state/corvelle/downloads.jsonl", text);
}

// The times of the records a run shows, in its order.
std::vector<std::string> TimesShown(const Finished& run) {
  std::vector<std::string> times;
  for (const std::string& line : test::Lines(run.out)) {
    if (line.rfind("2026-", 0) == 0) times.push_back(line.substr(0, 20));
    else if (line.rfind("{", 0) == 0) times.push_back(ParseRecord(line)->time);
  }
  return times;
}

TEST(CliHistory, TheTableItsFiltersAndTheJsonLinesShowTheSameRecords) {
  CliKit kit;
  const std::string digest = "0123456789abcdef0123456789abcdef0123456789abcdef0123456789abcdef", x(100, 'x');
  const std::string a = "2026-11-30T23:59:59Z", b = "2026-12-01T00:00:00Z", c = "2026-12-02T10:00:00Z",
                    d = "2026-12-03T08:30:00Z";
  const std::vector<DownloadRecord> records = {
      {a, "corvelle", "TCP/IP", "127.0.0.1:4001", "FontSet.SHC", 1376256, digest, "ok", ""},
      {b, "corvelle-cli", "TCP/IP", "127.0.0.1:4002", "FontSet.SHC", 0, digest, "failed", "The device is not open."},
      {c, "corvelle-cli", "COM1:", "/dev/ttyUSB0", "FontSet.SHC", 0, digest, "stopped", "Error opening port\n/dev/ttyUSB0 (" + x + ")"},
      {d, "corvelle-cli", "FILE", "/tmp/a.out /tmp/b.out", "FontSet.SHC", 3164, digest, "ok", ""}};
  WriteHistory(kit, records);
  using Times = std::vector<std::string>;
  // An address in any numeric form, without a port every port; a day starts at its midnight, UTC,
  // and a time is taken to the second; --last takes the last N of those chosen, not of the whole
  // history.
  for (const auto& [filter, times] : std::vector<std::pair<std::vector<std::string>, Times>>{
           {{"--target", "127.1"}, {a, b}}, {{"--target", "0x7f000001:4002"}, {b}}, {{"--target", "127.0.0.1:4003"}, {}},
           {{"--target", "/dev/ttyUSB0"}, {c}}, {{"--target", "/tmp/b.out"}, {d}}, {{"--target", "/tmp/b"}, {}},
           {{"--result", "failed"}, {b}}, {{"--since", "2026-12-01"}, {b, c, d}}, {{"--since", "2026-12-01T00:00:01Z"}, {c, d}},
           {{"--since", "2026-12-03T08:30"}, {d}}, {{"--result", "ok", "--last", "1"}, {d}},
           {{"--target", "127.0.0.1", "--since", "2026-11-30", "--last", "5"}, {a, b}}}) {
    std::vector<std::string> args = {"history"};
    args.insert(args.end(), filter.begin(), filter.end());
    for (const bool json : {false, true}) {
      if (json) args.push_back("--json");
      const Finished run = kit.Run(args);
      EXPECT_EQ(run.exit, 0) << run.err;
      EXPECT_EQ(TimesShown(run), times) << filter[1] << " " << json;
    }
  }
  for (const std::vector<std::string>& usage : std::vector<std::vector<std::string>>{
           {"--since", "2026-02-29"}, {"--since", "2026-13-01"}, {"--since", "2026-12-01T24:00"}, {"--since", "yesterday"},
           {"--since", "2026-12-1"}, {"--result", "done"}, {"--target", ""}, {"--last", "0"}}) {
    const Finished run = kit.Run({"history", usage[0], usage[1]});
    EXPECT_EQ(std::tie(run.exit, run.out), std::make_tuple(2, std::string())) << usage[1];
  }
  EXPECT_EQ(kit.Run({"history", "--since", "2028-02-29"}).exit, 0) << "a leap day";

  // On a terminal the message is cut to the width, the last column left free.
  const Finished narrow = kit.RunOnTerminal({"history", "--target", "/dev/ttyUSB0"}, 80, "xterm", {}, true);
  ASSERT_GE(test::Lines(narrow.err).size(), 2u) << narrow.err;
  EXPECT_EQ(test::Lines(narrow.err)[1], c + "  /dev/ttyUSB0  stopped           0  -             Error op\r");

  // Nothing sent: no digest. A line that is no record is counted, and --last takes the last records.
  ASSERT_TRUE(AppendLine(kit.HistoryPath(), "not a record\n"));
  const Finished table = kit.Run({"history"});
  EXPECT_EQ(table.exit, 0);
  EXPECT_EQ(table.out, "TIME                  TARGET                 RESULT   BYTES       SHA256        MESSAGE\n" + a +
                           "  127.0.0.1:4001         ok          1376256  0123456789ab\n" + b +
                           "  127.0.0.1:4002         failed            0  -             The device is not open.\n" + c +
                           "  /dev/ttyUSB0           stopped           0  -             Error opening port /dev/ttyUSB0 (" +
                           x + ")\n" + d + "  /tmp/a.out /tmp/b.out  ok             3164  0123456789ab\n");
  EXPECT_EQ(table.err, "corvelle-cli: 1 line(s) of " + kit.HistoryPath() + " are not download records\n");
  EXPECT_EQ(kit.Run({"history", "--last", "1", "--json"}).out, FormatRecord(records[3]));

  // Targets and messages reach the table escaped, its columns lined up as shown: an escape takes
  // four columns, "é" one column of two bytes. JSON escapes them as JSON does.
  WriteHistory(kit, {{a, "corvelle", "TCP/IP", "pr\x1b[8minter:1", "FontSet.SHC", 0, digest, "failed", "gone\r\aaway"},
                     {b, "corvelle", "TCP/IP", "caf\xc3\xa9:1", "FontSet.SHC", 0, digest, "failed", "gone\r\aaway"}});
  EXPECT_EQ(kit.Run({"history"}).out, "TIME                  TARGET            RESULT   BYTES       SHA256        MESSAGE\n" +
                                          a + "  pr\\x1b[8minter:1  failed            0  -             gone\\x0d\\x07away\n" +
                                          b + "  caf\xc3\xa9:1            failed            0  -             gone\\x0d\\x07away\n");
  EXPECT_NE(kit.Run({"history", "--json"}).out.find(R"("pr\u001b[8minter:1")"), std::string::npos);

  const std::string folder = ParentFolder(kit.HistoryPath());
  ::chmod(folder.c_str(), 0777);
  EXPECT_EQ(kit.Run({"history"}).err, "corvelle-cli: refusing folder " + folder + ": group or others may write to it\n");
}

TEST(CliHistory, AHistoryLongerThanIsReadSaysWhereTheOlderRecordsAre) {
  CliKit kit;
  const DownloadRecord record{"2026-12-07T09:41:03Z", "corvelle", "TCP/IP", "127.0.0.1:4001", "FontSet.SHC",
                              0, std::string(64, '0'), "ok", std::string(400, 'm')};
  const std::string line = FormatRecord(record);
  // The read starts inside a line, which is no fault of the file: not counted.
  const std::size_t shown = static_cast<std::size_t>(kMaxHistoryRead) / line.size();
  WriteHistory(kit, std::vector<DownloadRecord>(shown + 10, record));
  const Finished all = kit.Run({"history", "--json"});
  EXPECT_EQ(std::tie(all.exit, all.err), std::make_tuple(0, "corvelle-cli: showing the last " + std::to_string(shown) +
                                                                " records; older ones are in " + kit.HistoryPath() + "\n"));
  EXPECT_EQ(all.out.size(), shown * line.size());
  EXPECT_EQ(kit.Run({"history", "--last", "5"}).err, "") << "the five asked for are all there";
  EXPECT_NE(kit.Run({"history", "--last", std::to_string(shown + 1)}).err, "");
  // Exactly as long as is read (whole records after empty lines): read whole; a byte more is not.
  std::string whole;
  while (whole.size() < shown * line.size()) whole += line;
  const std::string padding(static_cast<std::size_t>(kMaxHistoryRead) - whole.size(), '\n');
  kit.dir.Write("state/corvelle/downloads.jsonl", padding + whole);
  EXPECT_EQ(kit.Run({"history"}).err, "");
  kit.dir.Write("state/corvelle/downloads.jsonl", padding + "\n" + whole);
  EXPECT_EQ(kit.Run({"history"}).err, all.err);
}

}  // namespace
}  // namespace corvelle
