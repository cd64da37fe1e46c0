// SPDX-License-Identifier: MIT
// JSON-lines and terminal logging of the simulator's events.
#include "printer-sim/EventLog.h"

#include <cerrno>
#include <cstring>
#include <ctime>

#include "base/Json.h"

namespace corvelle::printersim {
namespace {

// Wall-clock time in ISO 8601, UTC, with milliseconds.
std::string WallClock() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto millis = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(millis));
  return text;
}

}  // namespace

std::string HexBytes(std::string_view bytes) {
  std::string out;
  for (const char c : bytes) {
    char pair[4];
    std::snprintf(pair, sizeof pair, "%02X", static_cast<unsigned char>(c));
    if (!out.empty()) out += ' ';
    out += pair;
  }
  return out;
}

LogRecord& LogRecord::Add(std::string_view key, std::string json, std::string human) {
  m_fields.push_back({std::string(key), std::move(json), std::move(human)});
  return *this;
}

LogRecord& LogRecord::Text(std::string_view key, std::string_view value) {
  const bool plain = !value.empty() && value.find_first_of(" \"\\") == std::string_view::npos;
  std::string json = JsonString(value);
  std::string human = plain ? json.substr(1, json.size() - 2) : json;
  return Add(key, std::move(json), std::move(human));
}

LogRecord& LogRecord::Number(std::string_view key, std::int64_t value) {
  return Add(key, std::to_string(value), std::to_string(value));
}

LogRecord& LogRecord::Flag(std::string_view key, bool value) {
  return Add(key, value ? "true" : "false", value ? "yes" : "no");
}

LogRecord& LogRecord::Null(std::string_view key) { return Add(key, "null", "-"); }

LogRecord& LogRecord::Numbers(std::string_view key, const std::vector<std::int64_t>& values) {
  std::string json = "[";
  std::string human;
  for (const std::int64_t value : values) {
    if (!human.empty()) {
      json += ',';
      human += ',';
    }
    json += std::to_string(value);
    human += std::to_string(value);
  }
  return Add(key, json + "]", human);
}

std::string LogRecord::JsonFields() const {
  std::string out;
  for (const Field& field : m_fields) out += "," + JsonString(field.key) + ":" + field.json;
  return out;
}

std::string LogRecord::HumanFields() const {
  std::string out;
  for (const Field& field : m_fields) out += " " + field.key + "=" + field.human;
  return out;
}

EventLog::EventLog() : m_start(std::chrono::steady_clock::now()) {}

EventLog::~EventLog() {
  if (m_ownsJson) std::fclose(m_json);
}

bool EventLog::Open(const std::string& path, bool quiet, std::string* error) {
  m_quiet = quiet;
  if (path.empty()) return true;
  if (path == "-") {
    m_json = stdout;
    return true;
  }
  m_json = std::fopen(path.c_str(), "w");
  if (!m_json) {
    *error = "cannot create the log " + path + ": " + std::strerror(errno);
    return false;
  }
  m_ownsJson = true;
  m_path = path;
  return true;
}

void EventLog::CloseBetweenRecords() {
  if (!m_ownsJson) return;
  std::fclose(m_json);
  m_json = nullptr;
  m_ownsJson = false;
  m_reopen = true;
}

void EventLog::Write(const LogRecord& record) {
  const long long elapsed =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - m_start).count();
  const std::string printerJson = m_printer > 0 ? ",\"printer\":" + std::to_string(m_printer) : "";
  const std::string printerHuman = m_printer > 0 ? " printer " + std::to_string(m_printer) : "";
  std::FILE* json = m_reopen ? std::fopen(m_path.c_str(), "ae") : m_json;
  if (m_reopen && !json) {
    std::fprintf(stderr, "kerv-printer-sim: cannot append to the log %s: %s\n", m_path.c_str(), std::strerror(errno));
  }
  if (json) {
    std::fprintf(json, "{\"t_ms\":%lld,\"time\":\"%s\",\"event\":%s%s%s}\n", elapsed, WallClock().c_str(),
                 JsonString(record.Event()).c_str(), printerJson.c_str(), record.JsonFields().c_str());
    std::fflush(json);
    if (m_reopen) std::fclose(json);
  }
  if (!m_quiet) {
    std::fprintf(stderr, "kerv-printer-sim %lld.%03lld s:%s %s%s\n", elapsed / 1000, elapsed % 1000,
                 printerHuman.c_str(), record.Event().c_str(), record.HumanFields().c_str());
  }
}

}  // namespace corvelle::printersim
