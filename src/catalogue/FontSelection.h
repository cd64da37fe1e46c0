// SPDX-License-Identifier: MIT
// The user's plan of which catalogue font goes into which of the printer's 112 font positions,
// and the operations behind the window's "-->", "<--", "Empty list" and GN1 checkbox.
// The operations take what the window knows and return what it must show; they never show
// anything themselves, except the legacy question, which goes through a callback.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Host.h"
#include "catalogue/FontCatalogue.h"

namespace corvelle {

inline constexpr int kSelectionPositions = 112;
// Old GN1 printers (firmware before J2.10) take positions 0..7 only.
inline constexpr int kLegacyPositions = 8;
// Most fonts one "-->" may place.
inline constexpr int kMaxFontsPerAdd = 112;
// Both fields of an empty position hold this marker (the stores use an empty string instead).
inline constexpr std::string_view kEmptyMarker = "***";

struct SelectionSlot {
  std::string displayName{kEmptyMarker};  // what "Selected fonts:" shows
  std::string fontPath{kEmptyMarker};     // the font's .she path

  bool operator==(const SelectionSlot&) const = default;
};

// Position p is number p + 1 in the profile and in the image. A default value is all empty.
using FontSelection = std::array<SelectionSlot, kSelectionPositions>;

// A refusal, shown in a plain box with an OK button; the selection was left as it was.
struct SelectionMessage {
  int id = 0;        // string table number
  std::string text;  // the text to show, formatted
};

// Shows the legacy-limit question (string 122) with OK and Cancel and a question icon and
// returns the answer; closing the box counts as Cancel.
using LegacyQuestion = std::function<MessageAnswer(const std::string& text)>;

// What "-->" knows from the window.
struct AddRequest {
  std::optional<int> destination;    // current position of "Selected fonts:"; none when no item is selected
  std::vector<int> selectedIndices;  // selected items of "Available fonts:" (catalogue indices)
  bool hasCurrentAvailable = false;  // "Available fonts:" has a current (focus) item
  bool legacyFormat = false;         // the GN1 checkbox as copied from the window
};

struct AddOutcome {
  std::optional<SelectionMessage> refusal;  // 95, 137 or 96: show it; nothing else happened
  int placed = 0;                           // fonts placed before the legacy check ran
  bool clearDestination = false;            // the window's "Selected fonts:" list keeps no current item
  bool legacyFormat = false;                // the checkbox value to show afterwards
};

// "-->": places the selected catalogue fonts, lowest index first, from the destination on;
// fonts that would go past position 111 are dropped silently. Refuses with 95 when there is
// no destination (or it is outside 0..111), with 137 when more than 112 fonts are selected
// (with their true number), with 96 when "Available fonts:" has no current item. After a
// placement (also of no font) the legacy limit is enforced. Indices outside the catalogue are
// ignored; each index counts once, whatever order they come in.
AddOutcome AddSelected(FontSelection& selection, const FontCatalogue& catalogue, std::string_view programFolder,
                       const AddRequest& request, const LegacyQuestion& ask);

// "<--": empties `position` when there is one (0..111); true when it did.
bool RemoveSelected(FontSelection& selection, std::optional<int> position);

// "Empty list": all 112 positions empty.
void EmptySelection(FontSelection& selection);

// True when the GN1 limit is broken: the flag is set and a position 8..111 is in use.
bool ExceedsLegacyLimit(const FontSelection& selection, bool legacyFormat);

// The GN1 checkbox rule: with the flag set and any position 8..111 in use, asks once; OK empties
// positions 8..111, Cancel clears the flag. Returns the flag to show afterwards.
bool EnforceLegacyLimit(FontSelection& selection, bool legacyFormat, const LegacyQuestion& ask);

// True for a position holding the empty marker as its display name (exact comparison).
inline bool IsEmptyName(std::string_view displayName) { return displayName == kEmptyMarker; }

}  // namespace corvelle
