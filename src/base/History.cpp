// SPDX-License-Identifier: MIT
// Writing and reading the download history's JSON lines.
#include "base/History.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/FileHandle.h"
#include "base/FileSystem.h"
#include "base/FileWrite.h"
#include "base/Json.h"
#include "base/Paths.h"
#include "base/PathsPlatform.h"

namespace corvelle {
namespace {

constexpr const char* kStringFields[] = {"time", "program", "port", "target", "image", "sha256", "result", "message"};
constexpr const char* kLabelFields[] = {"name", "site", "selection", "selection_sha256"};

// The string field `name` of a record, const or not; null for a name that is none.
template <typename Record>
auto* StringField(Record& record, std::string_view name) {
  if (name == "time") return &record.time;
  if (name == "program") return &record.program;
  if (name == "port") return &record.port;
  if (name == "target") return &record.target;
  if (name == "image") return &record.image;
  if (name == "sha256") return &record.sha256;
  if (name == "result") return &record.result;
  if (name == "message") return &record.message;
  if (name == "name") return &record.name;
  if (name == "site") return &record.site;
  if (name == "selection") return &record.selection;
  if (name == "selection_sha256") return &record.selectionSha256;
  return static_cast<decltype(&record.time)>(nullptr);
}

std::string Line(const DownloadRecord& r) {
  std::string line = "{\"time\":" + JsonString(r.time) + ",\"program\":" + JsonString(r.program) + ",\"port\":" +
                     JsonString(r.port) + ",\"target\":" + JsonString(r.target) + ",\"image\":" +
                     JsonString(r.image) + ",\"bytes\":" + std::to_string(r.bytes) + ",\"sha256\":" +
                     JsonString(r.sha256) + ",\"result\":" + JsonString(r.result) + ",\"message\":" +
                     JsonString(r.message);
  for (const char* name : kLabelFields) {
    if (const std::string& value = *StringField(r, name); !value.empty()) {
      line += std::string(",\"") + name + "\":" + JsonString(value);
    }
  }
  return line + "}\n";
}

// Reads the whole of `file` from `offset` on; false with the file's error set.
bool ReadFrom(FileHandle& file, std::int64_t offset, std::string& out) {
  if (!file.Seek(offset)) return false;
  char buffer[65536];
  for (;;) {
    const long n = file.Read(buffer, sizeof buffer);
    if (n < 0) return false;
    if (n == 0) return true;
    out.append(buffer, static_cast<size_t>(n));
    if (static_cast<std::int64_t>(out.size()) > kMaxHistoryRead) return true;  // the file grows meanwhile
  }
}

// Whether the file at `path` ends in the middle of a line: a last line torn by a file-size limit,
// a full disk or a crash. A missing, empty or unreadable file is not.
bool EndsInsideALine(const std::string& path) {
  FileHandle file = FileHandle::OpenRegularForReading(path);
  if (!file.IsOpen() || file.LengthAtOpen() == 0) return false;
  char last = '\n';
  if (!file.Seek(-1) || file.Read(&last, 1) != 1) return false;
  return last != '\n';
}

}  // namespace

std::string UtcTimestamp(std::time_t when) {
  std::tm utc {};
#ifdef _WIN32
  ::gmtime_s(&utc, &when);
#else
  ::gmtime_r(&when, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

std::string DefaultHistoryPath() { return JoinPath(PerUserStateFolder(), "downloads.jsonl"); }

std::string FormatRecord(const DownloadRecord& record) {
  std::string line = Line(record);
  if (line.size() <= kMaxHistoryLine) return line;
  // Only the message can be long enough to matter; the rest of the record is kept whole.
  DownloadRecord shortened = record;
  shortened.message.clear();
  const std::size_t room = kMaxHistoryLine - std::min(kMaxHistoryLine, Line(shortened).size());
  // An escaped byte takes up to six characters.
  shortened.message = record.message.substr(0, room / 6);
  return Line(shortened);
}

std::optional<DownloadRecord> ParseRecord(std::string_view line) {
  const auto object = ParseFlatJsonObject(line, kMaxHistoryLine, 32);
  if (!object) return std::nullopt;
  DownloadRecord record;
  for (const char* name : kStringFields) {
    const auto found = object->find(name);
    if (found == object->end() || found->second.kind != JsonScalar::Kind::String) return std::nullopt;
    *StringField(record, name) = found->second.text;
  }
  for (const char* name : kLabelFields) {
    const auto found = object->find(name);
    if (found == object->end()) continue;
    if (found->second.kind != JsonScalar::Kind::String) return std::nullopt;
    *StringField(record, name) = found->second.text;
  }
  const auto bytes = object->find("bytes");
  if (bytes == object->end() || bytes->second.kind != JsonScalar::Kind::Number) return std::nullopt;
  char* end = nullptr;
  errno = 0;
  const long long value = std::strtoll(bytes->second.text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || value < 0) return std::nullopt;
  record.bytes = value;
  if (record.result != "ok" && record.result != "stopped" && record.result != "failed") return std::nullopt;
  return record;
}

DownloadHistory::DownloadHistory(std::string program, std::string path, bool ownFolder)
    : m_program(std::move(program)), m_path(std::move(path)), m_ownFolder(ownFolder) {}

std::string DownloadHistory::Append(DownloadRecord record) {
  record.time = UtcTimestamp(std::time(nullptr));
  record.program = m_program;
  record.name = m_labels.name;
  record.site = m_labels.site;
  record.selection = m_labels.selection;
  record.selectionSha256 = m_labels.selectionSha256;
  if (onAppend) onAppend(record);
  std::string problem;
  if (m_ownFolder) problem = PrepareOwnFolder(ParentFolder(m_path));
  if (problem.empty()) {
    // After a torn last line the record starts on a line of its own, so the torn piece is one
    // unreadable line instead of swallowing this record. Two runs that both find the torn end
    // leave an empty line between their records, which reading skips.
    std::string line = FormatRecord(record);
    if (EndsInsideALine(m_path)) line.insert(line.begin(), '\n');
    if (const Outcome appended = AppendLine(m_path, line); !appended) problem = m_path + ": " + appended.detail;
  }
  if (problem.empty() || m_told->exchange(true)) return "";
  return "The download history cannot be written: " + problem;
}

DownloadHistory DownloadHistory::Labelled(RecordLabels labels) const {
  DownloadHistory labelled = *this;
  labelled.m_labels = std::move(labels);
  return labelled;
}

HistoryListing ReadHistory(const std::string& path, std::size_t last) {
  HistoryListing listing;
  FileHandle file = FileHandle::OpenRegularForReading(path);
  if (file.NotRegular()) {
    listing.error = path + ": not a regular file";
    return listing;
  }
  if (!file.IsOpen()) {
    if (file.Error() != ENOENT) listing.error = path + ": " + file.ErrorText();
    return listing;
  }
  const auto size = static_cast<std::int64_t>(file.LengthAtOpen());
  const std::int64_t start = size > kMaxHistoryRead ? size - kMaxHistoryRead : 0;
  std::string text;
  if (!ReadFrom(file, start, text)) {
    listing.error = path + ": " + file.ErrorText();
    return listing;
  }
  std::string_view rest(text);
  // Reading from the middle of the file starts inside a line: that piece is not a record.
  if (start > 0) {
    listing.olderUnread = true;
    const std::size_t newline = rest.find('\n');
    rest.remove_prefix(newline == std::string_view::npos ? rest.size() : newline + 1);
  }
  while (!rest.empty()) {
    const std::size_t newline = rest.find('\n');
    const std::string_view line = rest.substr(0, newline);
    rest.remove_prefix(newline == std::string_view::npos ? rest.size() : newline + 1);
    if (line.empty()) continue;
    if (auto record = ParseRecord(line)) {
      listing.records.push_back(std::move(*record));
    } else {
      ++listing.unreadable;
    }
  }
  if (last > 0 && listing.records.size() > last) {
    listing.records.erase(listing.records.begin(),
                          listing.records.end() - static_cast<std::ptrdiff_t>(last));
  }
  return listing;
}

}  // namespace corvelle
