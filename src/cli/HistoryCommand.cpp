// SPDX-License-Identifier: MIT
// corvelle-cli history: the record of every download attempt, as a table or as its JSON lines.
#include <algorithm>
#include <iostream>

#include "base/History.h"
#include "base/Paths.h"
#include "cli/Commands.h"
#include "cli/HistoryFilter.h"
#include "cli/StatusLine.h"
#include "cli/TextSink.h"

namespace corvelle::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: corvelle-cli history [--last N] [--target ADDR[:PORT]|DEVICE] [--result ok|stopped|failed]\n"
    "                            [--since DATE] [--json]\n"
    "\n"
    "Prints the download history: every download the window and corvelle-cli attempted, oldest\n"
#ifdef _WIN32
    "first, kept in %LOCALAPPDATA%\\Corvelle\\downloads.jsonl. The table has a line per\n"
    "attempt: the time (UTC), the target\n"
#else
    "first, kept in $XDG_STATE_HOME/corvelle/downloads.jsonl (~/.local/state/corvelle/ when\n"
    "XDG_STATE_HOME is not set). The table has a line per attempt: the time (UTC), the target\n"
#endif
    "(ADDR:PORT, the device or the output files), the result (ok, stopped or failed), the image\n"
    "bytes sent, the first 12 digits of their SHA-256 digest (\"-\" when no byte was sent) and the\n"
    "last message shown (on a terminal, cut to its width).\n"
    "\n"
    "Options:\n"
    "  --last N        only the last N attempts (N from 1 up) of those the other options choose\n"
    "  --target T      only the attempts on one printer: ADDR or ADDR:PORT (an address in any\n"
    "                  numeric form, 127.1 is 127.0.0.1; without :PORT, at any port), or a device\n"
    "                  or output file as the table shows it\n"
    "  --result R      only the attempts that ended ok, stopped or failed\n"
    "  --since DATE    only the attempts from DATE on, in UTC: YYYY-MM-DD (from that day's start),\n"
    "                  YYYY-MM-DDTHH:MM or YYYY-MM-DDTHH:MM:SS, with or without a final Z\n"
    "  --json          the records as JSON lines, one object a line, with every field: time,\n"
    "                  program, port, target, image, bytes, sha256, result and message\n"
    "\n"
    "Lines that are not records are skipped and counted on stderr. Only the last 16 MiB of the\n"
    "file are read; when it is longer, stderr says how many records are shown. Exits 0, also for\n"
    "an empty or missing history; 1 when the history cannot be read or its folder is refused\n"
    "(another user owns it, or group or others may write to it).\n"
    "\n"
    "Example: corvelle-cli history --target 127.0.0.1:4001 --result failed --since 2026-12-01\n";

// The digest of what was sent, "-" when nothing was: the digest of no bytes names no image.
std::string ShortDigest(const DownloadRecord& record) {
  return record.bytes > 0 ? record.sha256.substr(0, 12) : "-";
}

// The message on the table's one line: its lines joined by blanks.
std::string OneLine(std::string text) {
  for (char& c : text) {
    if (c == '\n' || c == '\t') c = ' ';
  }
  return text;
}

// `columns`: the terminal's width, which the message is cut to; 0 when not on a terminal.
void PrintTable(const std::vector<DownloadRecord>& records, std::size_t columns) {
  std::size_t targetWidth = 6;
  for (const DownloadRecord& record : records) targetWidth = std::max(targetWidth, ShownWidth(record.target));
  const auto padded = [](const std::string& text, std::size_t width) {
    const std::size_t shown = ShownWidth(text);
    return text + std::string(width > shown ? width - shown : 0, ' ');
  };
  std::cout << padded("TIME", 20) << "  " << padded("TARGET", targetWidth) << "  RESULT   " << padded("BYTES", 10)
            << "  SHA256        MESSAGE\n";
  for (const DownloadRecord& r : records) {
    const std::string bytes = std::to_string(r.bytes);
    std::string line = padded(r.time, 20) + "  " + padded(r.target, targetWidth) + "  " + padded(r.result, 7) + "  " +
                       std::string(bytes.size() < 10 ? 10 - bytes.size() : 0, ' ') + bytes + "  " + ShortDigest(r);
    if (!r.message.empty()) {
      std::string message = OneLine(r.message);
      line = padded(line, ShownWidth(line) + 14 - ShortDigest(r).size());
      // One column stays free, so that no terminal wraps the line.
      const std::size_t used = ShownWidth(line);
      if (columns > 0) message = used + 1 < columns ? std::string(CutToShownWidth(message, columns - 1 - used)) : "";
      line += message;
    }
    while (line.ends_with(' ')) line.pop_back();
    std::cout << line << '\n';
  }
}

int RunHistory(CliContext&, ArgReader& args) {
  const auto last = args.IntOption("last");
  const bool json = args.Flag("json");
  HistoryFilter filter;
  filter.target = args.Option("target");
  filter.result = args.Option("result");
  const auto since = args.Option("since");
  if (!args.Positionals().empty()) args.Fail("history takes no arguments");
  if (last && *last < 1) args.Fail("--last needs a number from 1 up");
  if (filter.target && filter.target->empty()) args.Fail("--target needs a printer, device or file");
  if (filter.result && *filter.result != "ok" && *filter.result != "stopped" && *filter.result != "failed") {
    args.Fail("--result must be ok, stopped or failed, not '" + *filter.result + "'");
  }
  if (since && !(filter.since = SinceTime(*since))) {
    args.Fail("--since needs a date as YYYY-MM-DD or YYYY-MM-DDTHH:MM[:SS], not '" + *since + "'");
  }
  if (args.Failed()) return kExitUsage;
  const bool filtered = filter.target || filter.result || filter.since;

  const std::string path = DefaultHistoryPath();
  // A folder another user could write to may hold records nobody here made.
  if (const std::string problem = OwnFolderProblem(ParentFolder(path)); !problem.empty()) {
    std::cerr << "corvelle-cli: " << problem << '\n';
    return kExitFailed;
  }
  // The last N of the chosen records are found among all those read.
  HistoryListing listing = ReadHistory(path, last && !filtered ? static_cast<std::size_t>(*last) : 0);
  if (!listing.error.empty()) {
    std::cerr << "corvelle-cli: cannot read the download history " << listing.error << '\n';
    return kExitFailed;
  }
  if (filtered) {
    std::erase_if(listing.records, [&filter](const DownloadRecord& r) { return !filter.Matches(r); });
    if (last && listing.records.size() > static_cast<std::size_t>(*last)) {
      listing.records.erase(listing.records.begin(),
                            listing.records.end() - static_cast<std::ptrdiff_t>(*last));
    }
  }
  if (listing.unreadable > 0) {
    std::cerr << "corvelle-cli: " << listing.unreadable << " line(s) of " << path << " are not download records\n";
  }
  // Only the end of a very long history is read: say where the rest is, unless the last N
  // records asked for are all here anyway.
  if (listing.olderUnread && (!last || listing.records.size() < static_cast<std::size_t>(*last))) {
    std::cerr << "corvelle-cli: showing the last " << listing.records.size() << " records; older ones are in "
              << path << '\n';
  }
  if (json) {
    for (const DownloadRecord& record : listing.records) std::cout << FormatRecord(record);
  } else {
    PrintTable(listing.records, IsSmartTerminal(kStandardOutput) ? TerminalColumns(kStandardOutput) : 0);
  }
  return FinishOutput("history");
}

}  // namespace

Command HistoryCommand() {
  return {"history", "show the record of every download attempt", kHelp, RunHistory};
}

}  // namespace corvelle::cli
