// SPDX-License-Identifier: MIT
// Choosing download records.
#include "cli/HistoryFilter.h"

#include <algorithm>
#include <cctype>

#include "base/Ipv4Text.h"
#include "cli/FleetTargets.h"

namespace corvelle::cli {
namespace {

constexpr int kAnyPort = -1;

bool SamePrinter(const std::string& wanted, const DownloadRecord& record) {
  if (record.port == "TCP/IP") {
    const Result<FleetTarget> want = ParseTarget(wanted, kAnyPort);
    const Result<FleetTarget> have = ParseTarget(record.target, kAnyPort);
    if (want && have) {
      return AddressKey(want->address) == AddressKey(have->address) &&
             (want->port == kAnyPort || want->port == have->port);
    }
  }
  if (record.target == wanted) return true;
  if (record.port != "FILE") return false;
  // The files of a FILE record are separated by blanks.
  for (std::size_t start = 0; start <= record.target.size();) {
    const std::size_t end = std::min(record.target.find(' ', start), record.target.size());
    if (record.target.compare(start, end - start, wanted) == 0) return true;
    start = end + 1;
  }
  return false;
}

// The digits of `text` from `at` on, `count` of them, as a number; nullopt when they are not all digits.
std::optional<int> Digits(std::string_view text, std::size_t at, std::size_t count) {
  if (at + count > text.size()) return std::nullopt;
  int value = 0;
  for (std::size_t i = at; i < at + count; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return std::nullopt;
    value = value * 10 + (text[i] - '0');
  }
  return value;
}

int DaysInMonth(int year, int month) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : kDays[month - 1];
}

}  // namespace

bool HistoryFilter::Matches(const DownloadRecord& record) const {
  if (result && record.result != *result) return false;
  // Record times are one fixed-width UTC form, so their text sorts as the times do.
  if (since && record.time < *since) return false;
  return !target || SamePrinter(*target, record);
}

std::optional<std::string> SinceTime(std::string_view text) {
  if (text.ends_with('Z')) text.remove_suffix(1);
  const auto year = Digits(text, 0, 4), month = Digits(text, 5, 2), day = Digits(text, 8, 2);
  if (!year || !month || !day || text[4] != '-' || text[7] != '-') return std::nullopt;
  if (*month < 1 || *month > 12 || *day < 1 || *day > DaysInMonth(*year, *month)) return std::nullopt;
  std::string time(text.substr(0, 10));
  if (text.size() == 10) return time + "T00:00:00Z";
  if ((text.size() != 16 && text.size() != 19) || (text[10] != 'T' && text[10] != 't') || text[13] != ':') {
    return std::nullopt;
  }
  const auto hour = Digits(text, 11, 2), minute = Digits(text, 14, 2);
  const auto second = text.size() == 19 && text[16] == ':' ? Digits(text, 17, 2) : std::optional<int>(0);
  if (!hour || !minute || !second || *hour > 23 || *minute > 59 || *second > 59) return std::nullopt;
  time += "T" + std::string(text.substr(11, 5)) + ":" + (text.size() == 19 ? std::string(text.substr(17, 2)) : "00");
  return time + "Z";
}

}  // namespace corvelle::cli
