// SPDX-License-Identifier: MIT
// Reading an inventory of printers from CSV.
#include "cli/Inventory.h"

#include <algorithm>
#include <cctype>
#include <map>

#include "base/Paths.h"
#include "cli/ArgReader.h"

namespace corvelle::cli {
namespace {

std::string_view TrimmedField(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

char Folded(char c) { return static_cast<char>(std::tolower(static_cast<unsigned char>(c))); }

// A path that does not depend on the folder it is read from: "/x", and on Windows "C:\x" or "\\host\x".
bool IsAbsolutePath(std::string_view path) {
#ifdef _WIN32
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':' &&
      (path[2] == '\\' || path[2] == '/')) {
    return true;
  }
  if (path.starts_with('\\')) return true;
#endif
  return path.starts_with('/');
}

bool MatchesAny(const std::vector<std::string>& patterns, std::string_view text) {
  if (patterns.empty()) return true;
  for (const std::string& pattern : patterns) {
    if (MatchesWildcard(pattern, text)) return true;
  }
  return false;
}

// The columns an inventory knows, by their index in the header (-1: not there).
struct Columns {
  int name = -1, site = -1, address = -1, port = -1, selection = -1, legacy = -1, enabled = -1;
};

Columns FindColumns(const std::vector<std::string>& header) {
  Columns columns;
  const std::map<std::string, int Columns::*> known{
      {"name", &Columns::name},           {"site", &Columns::site},     {"address", &Columns::address},
      {"port", &Columns::port},           {"selection", &Columns::selection}, {"legacy", &Columns::legacy},
      {"enabled", &Columns::enabled}};
  for (std::size_t i = 0; i < header.size(); ++i) {
    std::string word(TrimmedField(header[i]));
    for (char& c : word) c = Folded(c);
    // The first column of a name counts; a repeat of it is ignored like an unknown column.
    if (const auto found = known.find(word); found != known.end() && columns.*found->second < 0) {
      columns.*found->second = static_cast<int>(i);
    }
  }
  return columns;
}

std::string Field(const CsvRecord& record, int column) {
  if (column < 0 || static_cast<std::size_t>(column) >= record.fields.size()) return "";
  return std::string(TrimmedField(record.fields[static_cast<std::size_t>(column)]));
}

// The row as a printer; "" when it is one, else why not.
std::string ReadRow(const CsvRecord& record, const Columns& columns, const std::string& folder, int defaultPort,
                    InventoryRow& row) {
  const std::string address = Field(record, columns.address);
  if (address.empty()) return "the row has no address";
  int port = defaultPort;
  if (const std::string text = Field(record, columns.port); !text.empty()) {
    const auto number = ArgReader::ParseInteger(text);
    if (!number || *number < 0 || *number > 65535 || text.starts_with('+') || text.starts_with('-')) {
      return "the port '" + text + "' is not a number from 0 to 65535";
    }
    port = static_cast<int>(*number);
  }
  const Result<FleetTarget> target = ParseTarget(address, port);
  if (!target) return target.Failure().message;
  if (target->port != port && port != defaultPort) {
    return "the address '" + address + "' has a port of its own and the port column says " + std::to_string(port);
  }
  row.target = *target;
  row.target.name = Field(record, columns.name);
  row.target.site = Field(record, columns.site);
  if (const std::string legacy = Field(record, columns.legacy); legacy == "1" || legacy == "0") {
    row.legacy = legacy == "1";
  } else if (!legacy.empty()) {
    return "legacy is '" + legacy + "', not 1, 0 or empty";
  }
  if (const std::string selection = Field(record, columns.selection); !selection.empty()) {
    row.selectionPath = IsAbsolutePath(selection) ? selection : JoinPath(folder, selection);
  }
  return "";
}

}  // namespace

std::optional<std::vector<CsvRecord>> ParseCsv(std::string_view text, int& errorLine) {
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  std::vector<CsvRecord> records;
  CsvRecord record{1, {}};
  std::string field;
  int line = 1;
  std::size_t i = 0;
  const auto endRecord = [&] {
    record.fields.push_back(std::move(field));
    field.clear();
    // A row of blank cells (",,,", as a spreadsheet exports an empty row) is no record.
    const bool blank = std::all_of(record.fields.begin(), record.fields.end(),
                                   [](const std::string& f) { return TrimmedField(f).empty(); });
    if (!blank) records.push_back(std::move(record));
    record = CsvRecord{line, {}};
  };
  while (i < text.size()) {
    const char c = text[i];
    if (c == '"' && TrimmedField(field).empty()) {
      // A quoted field, blanks before its quote dropped; what follows the closing quote up to the
      // next comma is kept as it stands, as spreadsheets read it.
      field.clear();
      const int opened = line;
      for (++i;; ++i) {
        if (i >= text.size()) {
          errorLine = opened;
          return std::nullopt;
        }
        if (text[i] == '"') {
          if (i + 1 < text.size() && text[i + 1] == '"') {
            field += '"';
            ++i;
            continue;
          }
          ++i;
          break;
        }
        if (text[i] == '\n') ++line;
        field += text[i];
      }
      continue;
    }
    ++i;
    if (c == ',') {
      record.fields.push_back(std::move(field));
      field.clear();
    } else if (c == '\n') {
      ++line;
      endRecord();
    } else if (c == '\r' && i < text.size() && text[i] == '\n') {
      // The CR of a CR LF end.
    } else {
      field += c;
    }
  }
  if (!field.empty() || !record.fields.empty()) endRecord();
  return records;
}

bool MatchesWildcard(std::string_view pattern, std::string_view text) {
  // Greedy matching with one step back to the last '*': linear in practice, never recursive.
  std::size_t p = 0, t = 0, star = std::string_view::npos, resume = 0;
  while (t < text.size()) {
    if (p < pattern.size() && (pattern[p] == '?' || (pattern[p] != '*' && Folded(pattern[p]) == Folded(text[t])))) {
      ++p;
      ++t;
    } else if (p < pattern.size() && pattern[p] == '*') {
      star = p++;
      resume = t;
    } else if (star != std::string_view::npos) {
      p = star + 1;
      t = ++resume;
    } else {
      return false;
    }
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

Result<std::vector<InventoryRow>> ParseInventory(std::string_view text, const std::string& fileName, int defaultPort,
                                                 const InventoryPick& pick) {
  int errorLine = 0;
  const auto records = ParseCsv(text, errorLine);
  if (!records) return Outcome::Failure(fileName + ":" + std::to_string(errorLine) + ": a quoted field is not closed");
  if (records->empty()) return Outcome::Failure("the inventory " + fileName + " has no header row");
  const CsvRecord& header = records->front();
  const Columns columns = FindColumns(header.fields);
  if (columns.address < 0) {
    return Outcome::Failure(fileName + ":" + std::to_string(header.line) + ": the header row has no address column");
  }
  std::vector<InventoryRow> rows;
  const std::string folder = ParentFolder(fileName);
  for (std::size_t i = 1; i < records->size(); ++i) {
    const CsvRecord& record = (*records)[i];
    if (Field(record, columns.enabled) == "0") continue;
    InventoryRow row;
    if (const std::string reason = ReadRow(record, columns, folder, defaultPort, row); !reason.empty()) {
      return Outcome::Failure(fileName + ":" + std::to_string(record.line) + ": " + reason);
    }
    row.target.origin = fileName + ":" + std::to_string(record.line);
    if (MatchesAny(pick.sites, row.target.site) && MatchesAny(pick.names, row.target.name)) rows.push_back(row);
  }
  return rows;
}

Result<std::vector<InventoryRow>> ReadInventory(const std::string& path, int defaultPort, const InventoryPick& pick,
                                                const StopSignal* stop) {
  const Result<std::string> text = ReadListFile(path, "inventory", stop);
  if (!text) return text.Failure();
  Result<std::vector<InventoryRow>> rows = ParseInventory(*text, path, defaultPort, pick);
  if (rows && rows->empty()) {
    return Outcome::Failure("the inventory " + path + " has no enabled printer" +
                            (pick.sites.empty() && pick.names.empty() ? "" : " that --site and --name pick"));
  }
  return rows;
}

}  // namespace corvelle::cli
