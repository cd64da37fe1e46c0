// SPDX-License-Identifier: MIT
// Reading and writing the selection's profile keys.
#include "catalogue/SelectionProfile.h"

#include <cstdio>

#include "base/Profile.h"

namespace corvelle {
namespace {

std::string NumberedKey(const char* format, int position) {
  char key[32];
  std::snprintf(key, sizeof key, format, position + 1);
  return key;
}

std::string FromStored(std::string value) { return value.empty() ? std::string(kEmptyMarker) : value; }

std::string_view ToStored(const std::string& value) { return value == kEmptyMarker ? std::string_view() : value; }

}  // namespace

std::string FontPathKey(int position) { return NumberedKey("Font%03i", position); }

std::string DisplayNameKey(int position) { return NumberedKey("FontDialog%03i", position); }

FontSelection LoadSelectionFromProfile(const Profile& profile) {
  FontSelection selection;
  for (int p = 0; p < kSelectionPositions; ++p) {
    SelectionSlot& slot = selection[static_cast<size_t>(p)];
    slot.fontPath = FromStored(profile.GetPath(kSelectionSection, FontPathKey(p), ""));
    slot.displayName = FromStored(profile.GetString(kSelectionSection, DisplayNameKey(p), ""));
  }
  return selection;
}

void StoreSelectionToProfile(const FontSelection& selection, Profile& profile) {
  for (int p = 0; p < kSelectionPositions; ++p) {
    const SelectionSlot& slot = selection[static_cast<size_t>(p)];
    profile.WriteString(kSelectionSection, FontPathKey(p), ToStored(slot.fontPath));
    profile.WriteString(kSelectionSection, DisplayNameKey(p), ToStored(slot.displayName));
  }
}

}  // namespace corvelle
