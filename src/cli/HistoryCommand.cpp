// SPDX-License-Identifier: MIT
// corvelle-cli history: the record of every download attempt, as a table or as its JSON lines.
#include <algorithm>
#include <iostream>

#include "base/History.h"
#include "base/Paths.h"
#include "cli/Commands.h"
#include "cli/TextSink.h"

namespace corvelle::cli {
namespace {

constexpr std::string_view kHelp =
    "Usage: corvelle-cli history [--last N] [--json]\n"
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
    "bytes sent and the first 12 digits of their SHA-256 digest.\n"
    "\n"
    "Options:\n"
    "  --last N  only the last N attempts (N from 1 up)\n"
    "  --json    the records as JSON lines, one object a line, with every field: time, program,\n"
    "            port, target, image, bytes, sha256, result and message\n"
    "\n"
    "Lines that are not records are skipped and counted on stderr. Only the last 16 MiB of the\n"
    "file are read; when it is longer, stderr says how many records are shown. Exits 0, also for\n"
    "an empty or missing history; 1 when the history cannot be read or its folder is refused\n"
    "(another user owns it, or group or others may write to it).\n";

void PrintTable(const std::vector<DownloadRecord>& records) {
  std::size_t targetWidth = 6;
  for (const DownloadRecord& record : records) targetWidth = std::max(targetWidth, ShownWidth(record.target));
  const auto padded = [](const std::string& text, std::size_t width) {
    const std::size_t shown = ShownWidth(text);
    return text + std::string(width > shown ? width - shown : 0, ' ');
  };
  std::cout << padded("TIME", 20) << "  " << padded("TARGET", targetWidth) << "  RESULT   " << padded("BYTES", 10)
            << "  SHA256\n";
  for (const DownloadRecord& r : records) {
    const std::string bytes = std::to_string(r.bytes);
    std::cout << padded(r.time, 20) << "  " << padded(r.target, targetWidth) << "  " << padded(r.result, 7) << "  "
              << std::string(bytes.size() < 10 ? 10 - bytes.size() : 0, ' ') << bytes << "  " << r.sha256.substr(0, 12)
              << '\n';
  }
}

int RunHistory(CliContext&, ArgReader& args) {
  const auto last = args.IntOption("last");
  const bool json = args.Flag("json");
  if (!args.Positionals().empty()) args.Fail("history takes no arguments");
  if (last && *last < 1) args.Fail("--last needs a number from 1 up");
  if (args.Failed()) return kExitUsage;

  const std::string path = DefaultHistoryPath();
  // A folder another user could write to may hold records nobody here made.
  if (const std::string problem = OwnFolderProblem(ParentFolder(path)); !problem.empty()) {
    std::cerr << "corvelle-cli: " << problem << '\n';
    return kExitFailed;
  }
  const HistoryListing listing = ReadHistory(path, last ? static_cast<std::size_t>(*last) : 0);
  if (!listing.error.empty()) {
    std::cerr << "corvelle-cli: cannot read the download history " << listing.error << '\n';
    return kExitFailed;
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
    PrintTable(listing.records);
  }
  return FinishOutput("history");
}

}  // namespace

Command HistoryCommand() {
  return {"history", "show the record of every download attempt", kHelp, RunHistory};
}

}  // namespace corvelle::cli
