// SPDX-License-Identifier: MIT
// The download history: one JSON object per download attempt, one line each, appended to
// $XDG_STATE_HOME/corvelle/downloads.jsonl by the window and the command-line tool, and read
// back by `corvelle-cli history`.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

struct DownloadRecord {
  std::string time;     // UTC, ISO 8601: 2026-12-07T09:41:03Z
  std::string program;  // corvelle or corvelle-cli
  std::string port;     // the port name: TCP/IP, COM1:, FILE, ...
  std::string target;   // ADDR:PORT, the device path, or the output files
  std::string image;    // the image's file name
  std::int64_t bytes = 0;  // image bytes sent
  std::string sha256;   // of those bytes, 64 hexadecimal digits
  std::string result;   // ok, stopped or failed
  std::string message;  // the last message the user was shown ("" when none)
  // Set for a printer of an inventory, "" otherwise (and in records written before there were
  // inventories): the row's name and site, and the .kvf file its image was built from, by file
  // name and the SHA-256 of its bytes.
  std::string name = {};
  std::string site = {};
  std::string selection = {};
  std::string selectionSha256 = {};

  bool operator==(const DownloadRecord&) const = default;
};

// A longer history line is not read back (nor written: the message is shortened to fit).
inline constexpr std::size_t kMaxHistoryLine = 16384;

// `when` as UTC in ISO 8601 with seconds and a Z.
std::string UtcTimestamp(std::time_t when);

// $XDG_STATE_HOME/corvelle/downloads.jsonl, or ~/.local/state/corvelle/downloads.jsonl.
std::string DefaultHistoryPath();

// The record as one JSON line with its newline, at most kMaxHistoryLine bytes. The inventory's
// fields are written only when set, so every other record keeps the line it always had.
std::string FormatRecord(const DownloadRecord& record);
// A line FormatRecord could have written (without its newline); nullopt for anything else: a
// missing field, a field of the wrong type, a result that is none of the three. The inventory's
// fields may be missing (an older record); when present they must be strings.
std::optional<DownloadRecord> ParseRecord(std::string_view line);

// What an inventory says of the printer a record is about (see DownloadRecord).
struct RecordLabels {
  std::string name;
  std::string site;
  std::string selection;
  std::string selectionSha256;
};

// Appends the records of one program to one history file, from any number of threads.
class DownloadHistory {
 public:
  // `ownFolder`: the file's folder is the program's own, made 0700 and refused when another user
  // owns it or others may write to it (the default path); false for a path named explicitly.
  explicit DownloadHistory(std::string program, std::string path = DefaultHistoryPath(), bool ownFolder = true);

  const std::string& Path() const { return m_path; }
  // Told each record as it is appended, stamped, whether or not the file takes it: the command
  // line reports the attempts of its run from them. Set before any thread appends; called on
  // the appending thread.
  std::function<void(const DownloadRecord&)> onAppend;
  // Stamps the record with the time and the program and appends it. "" when written; when not,
  // the problem the first time only (it is said once per run), "" after that.
  std::string Append(DownloadRecord record);
  // The same history, stamping every record with `labels`; a problem is still said once for both.
  DownloadHistory Labelled(RecordLabels labels) const;

 private:
  std::string m_program;
  std::string m_path;
  bool m_ownFolder;
  RecordLabels m_labels;
  std::shared_ptr<std::atomic<bool>> m_told = std::make_shared<std::atomic<bool>>(false);
};

// What a history file holds, read back.
struct HistoryListing {
  std::vector<DownloadRecord> records;  // oldest first
  std::size_t unreadable = 0;           // lines that are not records, skipped
  bool olderUnread = false;             // the file is longer than was read: older lines are not here
  std::string error;                    // set when the file exists but cannot be read
};

// The last `last` records of the file (all when 0). A missing file is an empty history; only
// the file's last kMaxHistoryRead bytes are read, so a history of any size costs bounded memory.
inline constexpr std::int64_t kMaxHistoryRead = 16 * 1024 * 1024;
HistoryListing ReadHistory(const std::string& path, std::size_t last = 0);

}  // namespace corvelle
