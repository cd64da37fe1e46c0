// SPDX-License-Identifier: MIT
// The simulator's log: one JSON object per line (to a file or stdout, flushed per line) and a
// human-readable line per event on stderr. Every record carries the milliseconds since the
// simulator started and the wall-clock time.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle::printersim {

class LogRecord {
 public:
  explicit LogRecord(std::string_view event) : m_event(event) {}

  // Text is written as JSON strings byte by byte: control characters and bytes above 0x7E
  // are escaped as \u00XX, so any bytes make valid JSON.
  LogRecord& Text(std::string_view key, std::string_view value);
  LogRecord& Number(std::string_view key, std::int64_t value);
  LogRecord& Flag(std::string_view key, bool value);
  LogRecord& Null(std::string_view key);
  LogRecord& Numbers(std::string_view key, const std::vector<std::int64_t>& values);

  const std::string& Event() const { return m_event; }
  // The fields after "t_ms", "time" and "event".
  std::string JsonFields() const;
  std::string HumanFields() const;

 private:
  struct Field {
    std::string key;
    std::string json;
    std::string human;
  };
  LogRecord& Add(std::string_view key, std::string json, std::string human);

  std::string m_event;
  std::vector<Field> m_fields;
};

// "3F 41 37": bytes as upper-case hex pairs.
std::string HexBytes(std::string_view bytes);

class EventLog {
 public:
  EventLog();
  ~EventLog();
  EventLog(const EventLog&) = delete;
  EventLog& operator=(const EventLog&) = delete;

  // `path` "-" is stdout; empty writes no JSON. False when the file cannot be created.
  bool Open(const std::string& path, bool quiet, std::string* error);
  void Write(const LogRecord& record);
  // One of several printers in the process: every record carries "printer": `number` after its
  // event (and the readable line names it), so one stream can hold all their logs.
  void SetPrinter(int number) { m_printer = number; }
  // For many printers in one process: the log file is opened again for each record and closed
  // after it, so a thousand logs do not hold a thousand descriptors.
  void CloseBetweenRecords();

 private:
  std::chrono::steady_clock::time_point m_start;
  std::FILE* m_json = nullptr;
  bool m_ownsJson = false;
  std::string m_path;       // the log file, kept to open it again per record
  bool m_reopen = false;
  bool m_quiet = false;
  int m_printer = 0;
};

}  // namespace corvelle::printersim
