// SPDX-License-Identifier: MIT
// Fixture for the image tests: fragment files of chosen sizes in a temporary FontExt folder, a
// profile holding the selection, a fake host, and image headers written out from the format's
// description, for comparing whole images.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "base/Paths.h"
#include "base/Profile.h"
#include "fontset/FontSetBuilder.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle::test {

inline constexpr long kNone = -1;  // a fragment file that does not exist
inline constexpr std::uint32_t kAbsent = 0xFFFFFFFF;

// Sizes of a font's four fragment files; the ones not given are missing.
struct FontSizes {
  long header0 = kNone, data0 = kNone, header1 = kNone, data1 = kNone;
};

inline std::string BigEndianBytes(std::uint32_t v) { return {char(v >> 24), char(v >> 16), char(v >> 8), char(v)}; }

// Both tables, the 0xFF filler, the trailer (FontSet.SHC: a zero word) with the table count,
// and the tag. Entries past those given are kAbsent in FontSet.SHC; in FontSet.SHF, where a free
// position holds the running offset, they repeat the last one given.
inline std::string ImageHeader(bool legacy, const std::vector<std::uint32_t>& part0,
                               const std::vector<std::uint32_t>& part1) {
  std::string header;
  for (const auto* table : {&part0, &part1}) {
    for (size_t k = 0; k < (legacy ? 8u : 112u); ++k) {
      header += k < table->size() ? BigEndianBytes((*table)[k])
                : legacy          ? header.substr(header.size() - 4)
                                  : BigEndianBytes(kAbsent);
    }
  }
  header.resize(legacy ? 0xF4 : 0x800, '\xFF');
  return header + (legacy ? "" : std::string(4, '\0')) + BigEndianBytes(legacy ? 8 : 112) + "KRV1D3\x22\x11";
}

class FontSetKit {
 public:
  // Writes the fragments of font `name` (bytes that differ from file to file, so that misplaced
  // copies show) and stores it at `position` (1-based).
  void AddFont(int position, const std::string& name, FontSizes sizes) {
    const std::pair<const char*, long> files[] = {
        {"0.hea", sizes.header0}, {"0.sh", sizes.data0}, {"1.hea", sizes.header1}, {"1.sh", sizes.data1}};
    for (const auto& [suffix, size] : files) {
      std::string bytes(size == kNone ? 0 : size, '\0');
      auto state = static_cast<std::uint32_t>(std::hash<std::string>{}(name + suffix));
      for (char& byte : bytes) byte = static_cast<char>((state = state * 1664525u + 1013904223u) >> 24);
      if (size != kNone && !(MakeFolders(Fragment("")) && WriteFile(Fragment(name + suffix), bytes)))
        throw std::runtime_error("cannot write " + Fragment(name + suffix));
    }
    Store(position, Fragment(name + ".she"));
  }
  void Store(int position, const std::string& value) {
    profile.WriteString("FontsAggiuntivi", "Font" + std::to_string(1000 + position).substr(1), value);
  }
  // The bytes of a present part's section: header fragment, then data fragment.
  std::string Section(const std::string& name, int part) const {
    const std::string digit = std::to_string(part);
    return ReadFile(Fragment(name + digit + ".hea")) + ReadFile(Fragment(name + digit + ".sh"));
  }
  bool Build(bool legacy = false, const std::string& output = "") {
    const FontSetBuildContext context{profile, program};
    const Result<BuiltImage> built = legacy ? BuildLegacyFontSet(context, output) : BuildFontSet(context, output);
    host.Show(built.Failure());
    if (built) builtPath = built->path;
    return static_cast<bool>(built);
  }
  std::string Fragment(const std::string& file) const { return FontExtFolder(program) + file; }
  std::string ImagePath(bool legacy = false) const {
    return (legacy ? DefaultLegacyFontSetPath : DefaultFontSetPath)(program);
  }
  // The one message shown, or "" when none or several were.
  std::string OnlyMessage() const { return host.messages.size() == 1 ? host.messages[0].text : ""; }

  TempDir dir;
  std::string program = dir.Path();  // the program folder the builders are given
  Profile profile{dir.File("corvelle.ini")};  // saved only where a test runs the command-line tool
  FakeHost host;
  std::string builtPath;
};

}  // namespace corvelle::test
