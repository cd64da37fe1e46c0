// SPDX-License-Identifier: MIT
// Which download records `corvelle-cli history` shows: those of one printer, one result, from a
// moment on.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "base/History.h"

namespace corvelle::cli {

struct HistoryFilter {
  // A printer as ADDR or ADDR:PORT, or a device or output file as it is recorded. An address
  // matches a TCP/IP record of the same address in any numeric form (127.1 is 127.0.0.1) or a
  // name in any case, at any port when none is given; anything else matches a record naming
  // exactly that target, or that file among the files of a FILE record.
  std::optional<std::string> target;
  std::optional<std::string> result;  // ok, stopped or failed
  std::optional<std::string> since;   // as a record's time, "YYYY-MM-DDTHH:MM:SSZ"

  bool Matches(const DownloadRecord& record) const;
};

// The time a --since value names, as records write it: "YYYY-MM-DD" (that day's start, UTC),
// "YYYY-MM-DDTHH:MM" or "YYYY-MM-DDTHH:MM:SS", with or without the Z (always UTC). nullopt for
// anything else, and for a day the calendar does not have.
std::optional<std::string> SinceTime(std::string_view text);

}  // namespace corvelle::cli
