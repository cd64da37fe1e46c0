// SPDX-License-Identifier: MIT
// Selection settings files (.kvf): two CR LF lines per position, the display name and then the
// font path, 224 lines in all. They move selections between installations, so a stored path is
// re-rooted into this installation's FontExt folder when read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "base/Outcome.h"
#include "catalogue/FontSelection.h"

namespace corvelle {

// Longest line kept; the rest of a longer line is skipped, so a hostile file costs bounded memory.
inline constexpr size_t kMaxSettingsLine = 4096;
inline constexpr size_t kSettingsLines = 2 * kSelectionPositions;

// The file text of a selection, every line ended by CR LF.
std::string SerializeSettings(const FontSelection& selection);

// Writes the selection to `path`. A regular file (or a new one) is replaced whole through a
// flushed temporary file beside it, keeping the old file's permissions, so a failure leaves the
// old file as it was and no temporary file behind; a read-only file is refused, and so is
// anything that is not a regular file (a pipe, a device), as loading refuses it. A link is
// followed as ResolveFileLink allows. Any failure to create, write, flush, close or rename (a
// full disk included) is a failure naming `path` (its message says why).
Outcome SaveSettingsFile(const FontSelection& selection, const std::string& path);

// The first `maxLines` lines of settings text. A line ends at LF, a CR directly before the LF
// is not part of it, the last line may lack its end, and a line is cut to kMaxSettingsLine bytes.
std::vector<std::string> SplitSettingsLines(std::string_view bytes, size_t maxLines = kSettingsLines);

// A font path line as this installation uses it: FontExt/ under `programFolder` + the part after
// its last '\' or '/' (a bare name too, so nothing is looked up in the current folder); only
// "***" and an empty line stay as read.
std::string RerootFontPath(std::string_view line, std::string_view programFolder);

// True when `line` holds a NUL or another control byte, which no font path has: such a
// position is left free.
bool HoldsControlByte(std::string_view line);

// The selection of settings lines: lines 2p and 2p + 1 are position p. Positions without lines
// are empty, a name without its path line gets the path "***", lines past 224 are ignored, and
// a position whose path line holds a control byte stays empty ("***" for both).
FontSelection SelectionFromSettingsLines(const std::vector<std::string>& lines, std::string_view programFolder);

// SplitSettingsLines and SelectionFromSettingsLines together: what loading these bytes gives.
FontSelection ParseSettings(std::string_view bytes, std::string_view programFolder);

// Reads `path` into `selection`. When the file cannot be opened or read, or is no regular file
// (a FIFO or a device could block or never end), `selection` is left as it was and the result
// says why (naming the file).
Outcome LoadSettingsFile(const std::string& path, std::string_view programFolder, FontSelection& selection);

}  // namespace corvelle
