// SPDX-License-Identifier: MIT
// The selection operations of the main window, free of any window.
#include "catalogue/FontSelection.h"

#include <algorithm>

#include "resources/Strings.h"

namespace corvelle {
namespace {

SelectionMessage Message(int id) { return {id, std::string(LoadStr(id))}; }

}  // namespace

AddOutcome AddSelected(FontSelection& selection, const FontCatalogue& catalogue, std::string_view programFolder,
                       const AddRequest& request, const LegacyQuestion& ask) {
  AddOutcome outcome;
  outcome.legacyFormat = request.legacyFormat;
  if (!request.destination || *request.destination < 0 || *request.destination >= kSelectionPositions) {
    outcome.refusal = Message(IDS_SELECT_DESTINATION);
    return outcome;
  }

  // A list's selection holds each item once and reports it in ascending order.
  std::vector<int> indices = request.selectedIndices;
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  if (indices.size() > static_cast<size_t>(kMaxFontsPerAdd)) {
    outcome.refusal = SelectionMessage{IDS_MAX_112_FONTS,
                                       FormatStr(IDS_MAX_112_FONTS, static_cast<long long>(indices.size()))};
    return outcome;
  }
  if (!request.hasCurrentAvailable) {
    outcome.refusal = Message(IDS_SELECT_AVAILABLE);
    return outcome;
  }

  int position = *request.destination;
  for (const int index : indices) {
    if (position >= kSelectionPositions) break;
    if (index < 0 || static_cast<size_t>(index) >= catalogue.size()) continue;
    const CatalogueEntry& entry = catalogue[static_cast<size_t>(index)];
    selection[static_cast<size_t>(position)] = SelectionSlot{entry.listText, FontPathOf(programFolder, entry)};
    ++position;
    ++outcome.placed;
  }
  // Replacing the destination item in the window's list drops its current selection.
  outcome.clearDestination = outcome.placed > 0;
  outcome.legacyFormat = EnforceLegacyLimit(selection, request.legacyFormat, ask);
  return outcome;
}

bool RemoveSelected(FontSelection& selection, std::optional<int> position) {
  if (!position || *position < 0 || *position >= kSelectionPositions) return false;
  selection[static_cast<size_t>(*position)] = SelectionSlot{};
  return true;
}

void EmptySelection(FontSelection& selection) { selection.fill(SelectionSlot{}); }

bool ExceedsLegacyLimit(const FontSelection& selection, bool legacyFormat) {
  return legacyFormat && std::any_of(selection.begin() + kLegacyPositions, selection.end(),
                                     [](const SelectionSlot& slot) { return !IsEmptyName(slot.displayName); });
}

bool EnforceLegacyLimit(FontSelection& selection, bool legacyFormat, const LegacyQuestion& ask) {
  if (!ExceedsLegacyLimit(selection, legacyFormat)) return legacyFormat;
  const MessageAnswer answer = ask ? ask(std::string(LoadStr(IDS_MAX_8_FONTS))) : MessageAnswer::Cancel;
  if (answer != MessageAnswer::Ok) return false;
  std::fill(selection.begin() + kLegacyPositions, selection.end(), SelectionSlot{});
  return true;
}

}  // namespace corvelle
