// SPDX-License-Identifier: MIT
// A site's printers as a spreadsheet keeps them: a CSV file (as spreadsheets export it) with a
// header row naming its columns, one printer a row, each with the selection it is to get.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "cli/FleetTargets.h"

namespace corvelle {
class StopSignal;
}

namespace corvelle::cli {

// The records of CSV text: fields separated by commas, a field in double quotes may hold
// commas, line ends and doubled quotes, records end at LF or CR LF, and a UTF-8 byte order mark
// at the start is dropped; bytes are kept as they are (UTF-8 or Latin-1 alike). Records whose
// fields are all blank (blank lines, empty spreadsheet rows) are left out. Nullopt with `errorLine` set for a quoted
// field that never closes.
struct CsvRecord {
  int line = 0;  // the line it starts on, counted from 1
  std::vector<std::string> fields;
};
std::optional<std::vector<CsvRecord>> ParseCsv(std::string_view text, int& errorLine);

// `text` matched against `pattern`, where '*' stands for any run of bytes and '?' for one; ASCII
// letters match in either case.
bool MatchesWildcard(std::string_view pattern, std::string_view text);

// One printer row of an inventory.
struct InventoryRow {
  FleetTarget target;         // its address and port, name, site and origin ("FILE:LINE")
  std::string selectionPath;  // the .kvf, relative paths taken from the inventory's folder; "": the stored one
  std::optional<bool> legacy; // the legacy column: 1 or 0; nullopt when empty (the run's --legacy)
};

// Which rows a run takes: those whose site matches one of `sites` (any site when empty) and
// whose name matches one of `names` (any when empty).
struct InventoryPick {
  std::vector<std::string> sites;
  std::vector<std::string> names;
};

// The enabled rows of an inventory's text that `pick` takes, in their order. Columns are found
// by name in the header (any case, blanks around ignored; others are ignored): name, site,
// address (ADDR[:PORT]), port (for an address without one; else `defaultPort`), selection,
// legacy (1 or 0), enabled (0 leaves the row out). Every enabled row must have a readable
// address; a failure with "FILE:LINE: reason" for the first that has not.
Result<std::vector<InventoryRow>> ParseInventory(std::string_view text, const std::string& fileName, int defaultPort,
                                                 const InventoryPick& pick);

// Reads and parses the inventory at `path` (ReadListFile's rules); a failure with the reason when
// it cannot be read or parsed, or when it has no row that `pick` takes.
Result<std::vector<InventoryRow>> ReadInventory(const std::string& path, int defaultPort, const InventoryPick& pick,
                                                const StopSignal* stop);

}  // namespace corvelle::cli
