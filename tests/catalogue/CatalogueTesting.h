// SPDX-License-Identifier: MIT
// Index file records built byte by byte, and readable selection slots, for the catalogue tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/FontCatalogue.h"
#include "catalogue/FontSelection.h"

namespace corvelle::test {

struct RecordFields {
  std::string_view baseName, faceName, displayName;
  std::uint8_t number = 0, height = 0;                        // bytes 96 and 97
  std::int8_t flag = 0, bold = 0, italic = 0, underline = 0;  // bytes 98..101
};

// A 102-byte record; the text fields are cut to 32 bytes or zero-filled.
inline std::string IndexRecord(const RecordFields& f) {
  std::string record;
  for (std::string_view text : {f.baseName, f.faceName, f.displayName}) {
    const size_t end = record.size() + 32;
    record += text.substr(0, 32);
    record.resize(end, '\0');
  }
  for (int byte : {f.number, f.height}) record += static_cast<char>(byte);
  for (int byte : {f.flag, f.bold, f.italic, f.underline}) record += static_cast<char>(byte);
  return record;
}

inline std::string Padded(std::string text) {
  text.resize(32, ' ');
  return text;
}

// A font's path once re-rooted into the "/prog" program folder's FontExt, joined with the
// platform's separator.
inline std::string InFontExt(const std::string& name) {
#ifdef _WIN32
  return "/prog\\FontExt\\" + name;
#else
  return "/prog/FontExt/" + name;
#endif
}

}  // namespace corvelle::test
