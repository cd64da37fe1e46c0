// SPDX-License-Identifier: MIT
// Selection settings files (.kvf): lines stay within their cap, at most 224 are read, every path
// read lies in FontExt/ and holds no control byte, and a selection that was loaded saves to text
// that loads back to the same selection (a name's CR, which the writer makes a blank, aside).
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/SettingsFile.h"
#include "fuzz/FuzzTargets.h"

using namespace corvelle;
using fuzz::Check;

namespace {

constexpr std::string_view kProgramFolder = "/opt/corvelle";

// A stored path is re-rooted under FontExt/, which makes it longer; a field near the line cap
// could then be cut on the way back, which no real file name (at most 255 bytes) comes near.
bool FitsOneLineAfterRerooting(const FontSelection& selection) {
  for (const SelectionSlot& slot : selection) {
    if (slot.displayName.size() > kMaxSettingsLine || slot.fontPath.size() > kMaxSettingsLine) return false;
  }
  return true;
}

bool NoNameHoldsCr(const FontSelection& selection) {
  for (const SelectionSlot& slot : selection) {
    if (slot.displayName.find('\r') != std::string::npos) return false;
  }
  return true;
}

}  // namespace

int fuzz::FuzzSettings(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::vector<std::string> lines = SplitSettingsLines(bytes);
  Check(lines.size() <= kSettingsLines, "at most 224 lines");
  for (const std::string& line : lines) {
    Check(line.size() <= kMaxSettingsLine, "line within its cap");
    Check(line.find('\n') == std::string::npos, "no line end inside a line");
  }

  const FontSelection selection = ParseSettings(bytes, kProgramFolder);
  for (const SelectionSlot& slot : selection) {
    const bool rerooted = slot.fontPath.rfind(std::string(kProgramFolder) + "/FontExt/", 0) == 0 &&
                          slot.fontPath.find_first_of("/\\", kProgramFolder.size() + 9) == std::string::npos;
    Check(rerooted || slot.fontPath == "***" || slot.fontPath.empty(), "every path is re-rooted into FontExt/");
    Check(!HoldsControlByte(slot.fontPath), "no control byte in a path");
  }
  if (FitsOneLineAfterRerooting(selection) && NoNameHoldsCr(selection)) {
    Check(ParseSettings(SerializeSettings(selection), kProgramFolder) == selection, "save then load is identity");
  }
  return 0;
}

CORVELLE_FUZZ_ENTRY(FuzzSettings)
