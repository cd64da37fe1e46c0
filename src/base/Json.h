// SPDX-License-Identifier: MIT
// JSON text for the program's machine-readable output and the download history: strings written
// from single-byte text, and a bounded reader of flat objects (string, number, true, false and
// null values), which is all the history holds.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corvelle {

// `text` as a quoted JSON string. Text is single-byte (Latin-1, as the window shows it): bytes
// from 0x80 up become \u0080..\u00FF, control characters \n, \t or \u00XX, so the result is
// plain ASCII and reads back byte for byte.
std::string JsonString(std::string_view text);

struct JsonScalar {
  enum class Kind { String, Number, Bool, Null } kind = Kind::Null;
  std::string text;  // the string's bytes, the number as written, "true"/"false"
};

// Reads one JSON object whose values are all scalars, with blanks around the tokens. \uXXXX up
// to 0xFF gives that byte, above it '?' (the program writes nothing else); a repeated key keeps
// its last value. nullopt for anything else, and for input longer than `maxBytes` or with more
// than `maxKeys` keys, so hostile input costs bounded time and memory.
std::optional<std::map<std::string, JsonScalar>> ParseFlatJsonObject(std::string_view text,
                                                                     std::size_t maxBytes = 65536,
                                                                     std::size_t maxKeys = 64);

}  // namespace corvelle
