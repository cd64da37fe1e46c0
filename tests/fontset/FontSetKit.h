// Fixture for the image tests: fragment files of chosen sizes in a temporary FontExt folder, a
// profile holding the selection, a fake host, and helpers to read images back.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Profile.h"
#include "fontset/FontSetBuilder.h"
#include "support/FakeHost.h"
#include "support/TempDir.h"

namespace corvelle::test {

inline constexpr long kNone = -1;  // a fragment file that does not exist

// Sizes of a font's four fragment files (kNone: the file is missing).
struct FontSizes {
  long header0 = kNone, data0 = kNone, header1 = kNone, data1 = kNone;
};

// Deterministic bytes that differ from file to file, so misplaced copies are caught.
std::string FragmentBytes(const std::string& fileName, std::size_t size);
std::uint32_t BigEndian(const std::string& bytes, std::size_t at);
std::string BigEndianBytes(std::uint32_t value);

// Headers written out from the format's description, for comparing whole images. FontSet.SHC:
// the leading entries of each table, the rest 0xFFFFFFFF. FontSet.SHF: all eight of each.
std::string FontSetHeader(const std::vector<std::uint32_t>& part0, const std::vector<std::uint32_t>& part1);
std::string LegacyFontSetHeader(const std::vector<std::uint32_t>& part0, const std::vector<std::uint32_t>& part1);

class FontSetKit {
 public:
  FontSetKit();

  // Writes the fragments of font `name` and stores it at `position` (1-based).
  void AddFont(int position, const std::string& name, FontSizes sizes);
  // The fonts of the worked examples: "a" at position 1 with part 0 only (100 + 1000 bytes),
  // "b" at position 2 with part 0 (80 + 500) and part 1 (60 + 300).
  void AddWorkedExampleFonts();
  // Stores a raw value for a position.
  void Store(int position, const std::string& value);
  // The bytes a present part's section holds: header fragment, then data fragment.
  std::string Section(const std::string& name, int part) const;

  bool Build(const std::string& output = "");
  bool BuildLegacy(const std::string& output = "");

  std::string ProgramFolder() const { return dir.File("program"); }
  std::string FragmentPath(const std::string& name, const std::string& suffix) const;
  std::string ImagePath() const { return DefaultFontSetPath(ProgramFolder()); }
  std::string LegacyImagePath() const { return DefaultLegacyFontSetPath(ProgramFolder()); }
  std::string ScratchPath() const { return ScratchHeaderPath(ProgramFolder()); }
  // The one message shown, or "" when none or several were.
  std::string OnlyMessage() const;

  TempDir dir;
  Profile profile;
  FakeHost host;
  std::string builtPath;
};

// Runs `body` in a forked child and returns its exit code (-1 when it did not exit normally).
int RunInChild(const std::function<int()>& body);

}  // namespace corvelle::test
