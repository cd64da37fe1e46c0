// SPDX-License-Identifier: MIT
// JSON text for the program's machine-readable output and the download history: strings written
// from UTF-8 or single-byte text, and a bounded reader of flat objects (string, number, true, false and
// null values), which is all the history holds.
#pragma once

#include <cstddef>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace corvelle {

// `text` as a quoted JSON string. Well-formed UTF-8 (file names here, and texts decoded from their
// code page) is written as it is; a byte that is not part of well-formed UTF-8 becomes \u00XX,
// the character Latin-1 gives it, so the result is always valid JSON and reads back byte for byte.
// Control characters become \n, \t or \u00XX.
std::string JsonString(std::string_view text);

struct JsonScalar {
  enum class Kind { String, Number, Bool, Null } kind = Kind::Null;
  std::string text;  // the string's bytes, the number as written, "true"/"false"
};

// Reads one JSON object whose values are all scalars, with blanks around the tokens. \uXXXX up
// to 0xFF gives that byte, as the program has always written bytes it could not pass on (so older
// history files read back as written); above it, the character in UTF-8, surrogate pairs
// combined and a lone surrogate U+FFFD. A repeated key keeps its last value. nullopt for anything else, and for input longer than `maxBytes` or with more
// than `maxKeys` keys, so hostile input costs bounded time and memory.
std::optional<std::map<std::string, JsonScalar>> ParseFlatJsonObject(std::string_view text,
                                                                     std::size_t maxBytes = 65536,
                                                                     std::size_t maxKeys = 64);

}  // namespace corvelle
