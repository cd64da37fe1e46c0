// SPDX-License-Identifier: MIT
// The selection as the profile keeps it between runs: section "FontsAggiuntivi", keys
// "Font001".."Font112" (font paths) and "FontDialog001".."FontDialog112" (display names), with
// an empty string for an empty field. The font set builders read the selection from here.
#pragma once

#include <string>
#include <string_view>

#include "catalogue/FontSelection.h"

namespace corvelle {

class Profile;

inline constexpr std::string_view kSelectionSection = "FontsAggiuntivi";

// "Font%03i" and "FontDialog%03i" for position p (number p + 1).
std::string FontPathKey(int position);
std::string DisplayNameKey(int position);

// Each field is read on its own: a missing or empty key is the empty marker, so a position may
// end up with one field empty and the other not.
FontSelection LoadSelectionFromProfile(const Profile& profile);

// Writes all 224 keys, empty ones included, into the profile in memory; the caller saves it
// (Profile::Save) and reports a failure.
void StoreSelectionToProfile(const FontSelection& selection, Profile& profile);

}  // namespace corvelle
