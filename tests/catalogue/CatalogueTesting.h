// Index file records built byte by byte, and readable failure output, for the catalogue tests.
#pragma once

#include <algorithm>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

#include "catalogue/FontCatalogue.h"
#include "catalogue/FontSelection.h"

namespace corvelle::test {

struct RecordFields {
  std::string_view baseName;
  std::string_view faceName;
  std::string_view displayName;
  std::uint8_t number = 0;  // byte 96
  std::uint8_t height = 0;  // byte 97
  std::int8_t flag = 0;     // byte 98
  std::int8_t bold = 0;
  std::int8_t italic = 0;
  std::int8_t underline = 0;
};

// A 102-byte record; text fields are cut to 32 bytes and zero-filled.
inline std::string IndexRecord(const RecordFields& f) {
  std::string record(kIndexRecordSize, '\0');
  record.replace(0, std::min<size_t>(f.baseName.size(), 32), f.baseName.substr(0, 32));
  record.replace(32, std::min<size_t>(f.faceName.size(), 32), f.faceName.substr(0, 32));
  record.replace(64, std::min<size_t>(f.displayName.size(), 32), f.displayName.substr(0, 32));
  record[96] = static_cast<char>(f.number);
  record[97] = static_cast<char>(f.height);
  record[98] = static_cast<char>(f.flag);
  record[99] = static_cast<char>(f.bold);
  record[100] = static_cast<char>(f.italic);
  record[101] = static_cast<char>(f.underline);
  return record;
}

// `text` padded with spaces to 32 characters.
inline std::string Padded(std::string_view text) {
  std::string padded(text);
  padded.resize(32, ' ');
  return padded;
}

}  // namespace corvelle::test

namespace corvelle {

inline void PrintTo(const SelectionSlot& slot, std::ostream* out) {
  *out << "{\"" << slot.displayName << "\", \"" << slot.fontPath << "\"}";
}

inline void PrintTo(const CatalogueEntry& entry, std::ostream* out) {
  *out << "{\"" << entry.listText << "\", \"" << entry.detailText << "\"}";
}

}  // namespace corvelle
