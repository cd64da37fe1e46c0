// SPDX-License-Identifier: MIT
// The download history's lines: any bytes are read within their bounds, and a record read back
// is written as a line that reads back to the same record (a long message only shortened).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/History.h"
#include "base/Json.h"
#include "fuzz/FuzzTargets.h"

using namespace corvelle;
using fuzz::Check;

int fuzz::FuzzHistory(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  ParseFlatJsonObject(text);
  const auto record = ParseRecord(text);
  if (!record) return 0;
  const std::string line = FormatRecord(*record);
  Check(line.size() <= kMaxHistoryLine && line.back() == '\n', "a record is one bounded line");
  Check(line.find('\n') == line.size() - 1, "a record is one line");
  const auto back = ParseRecord(std::string_view(line).substr(0, line.size() - 1));
  Check(back.has_value(), "a written record reads back");
  DownloadRecord same = *back;
  same.message = record->message;
  Check(same == *record, "every field but the message reads back unchanged");
  Check(record->message.starts_with(back->message), "the message reads back, at most shortened");
  return 0;
}

CORVELLE_FUZZ_ENTRY(FuzzHistory)
