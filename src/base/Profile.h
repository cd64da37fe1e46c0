// SPDX-License-Identifier: MIT
// The application profile: an INI file of named sections holding string and integer keys.
// Section and key names are matched without regard to case; the file keeps its order and
// every line it does not understand when it is written back.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/Outcome.h"

namespace corvelle {

// A profile larger than this, or of more lines, is not read: a real one holds a few hundred
// lines (tens of KiB), and the largest the program itself writes (112 positions of settings-file
// lines at their longest) stays near 3 MiB. The caps bound what a damaged file costs in memory.
inline constexpr size_t kMaxProfileBytes = 4 * 1024 * 1024;
inline constexpr size_t kMaxProfileLines = 65536;

class Profile {
 public:
  // An empty profile bound to no file (Save fails).
  Profile() = default;
  // Reads `path`. A missing file reads as an empty profile that Save creates. A file that cannot
  // be read (no permission, not a regular file, a read error, over the caps above) also reads as
  // empty, but LoadError() says why and Save refuses, so the settings it holds are never
  // replaced by defaults.
  explicit Profile(std::string path);

  const std::string& Path() const { return m_path; }
  // Why the file was not read; empty when it was read or did not exist.
  const std::string& LoadError() const { return m_loadError; }
  // Treats the profile as one that could not be read, for `reason` (its folder is not to be
  // trusted): it reads as empty and Save refuses.
  void Refuse(std::string reason);

  // The value of `key` in `section`, or `def` when the key is absent.
  std::string GetString(std::string_view section, std::string_view key, std::string_view def) const;
  // The value of a key that holds a file path, or `def` when absent. On Windows, where the
  // program's file names are UTF-8, a value that is not valid UTF-8 was written in the ANSI code
  // page by the program Corvelle replaces, and is read as cp1252. Elsewhere file names are bytes,
  // so the value is GetString's.
  std::string GetPath(std::string_view section, std::string_view key, std::string_view def) const;
  // The value read as the Windows profile reads integers (see ParseInt), or `def` when absent.
  int GetInt(std::string_view section, std::string_view key, int def) const;
  bool HasKey(std::string_view section, std::string_view key) const;
  // The names of all sections in file order, duplicates included.
  std::vector<std::string> Sections() const;
  // Every key of `section` in file order, with its value.
  std::vector<std::pair<std::string, std::string>> Entries(std::string_view section) const;

  // Sets a key in memory; an existing key keeps its place and spelling, a new one is added at
  // the end of its section (a new section at the end of the file).
  void WriteString(std::string_view section, std::string_view key, std::string_view value);
  void WriteInt(std::string_view section, std::string_view key, int value);

  // Writes the whole profile atomically: a temporary file in the same folder, flushed to disk,
  // then renamed over the old one. The folder is created when missing. Any failure says why,
  // and the old file is then left as it was. Refused when the file was not read (LoadError), is
  // read-only, or when the text would exceed the caps and so not read back.
  Outcome Save();

  // Integer text as the Windows profile reads it: blanks skipped, an optional minus sign, then
  // the leading decimal digits; 0 when there are none. Values beyond 32 bits are clamped.
  static int ParseInt(std::string_view text);

  // Loads profile text, replacing the current contents (used by the constructor and the fuzzer).
  // Text over kMaxProfileBytes or kMaxProfileLines leaves the profile empty, sets LoadError and
  // returns false.
  bool Parse(std::string_view text);
  // The file text Save() writes.
  std::string Serialize() const;

 private:
  struct Line {
    enum class Kind { Section, Entry, Other } kind = Kind::Other;
    std::string text;   // the line as read or written, without its line end
    std::string name;   // section name (Section) or key (Entry)
    std::string value;  // Entry only, unquoted
  };

  // Index range [first, last) of the lines of the first section named `section`; first is the
  // header line. Returns false when there is no such section.
  bool FindSection(std::string_view section, size_t& first, size_t& last) const;
  const Line* FindEntry(std::string_view section, std::string_view key) const;

  std::string m_path;
  std::vector<Line> m_lines;
  std::string m_loadError;
};

}  // namespace corvelle
