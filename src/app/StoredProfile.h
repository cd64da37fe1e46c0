// SPDX-License-Identifier: MIT
// Writing the window's changes into the profile without saving over what another run (the
// command line, a second window) stored meanwhile: the profile is read afresh under the profile
// lock, only the keys the window means to change are set on that fresh copy, and it is saved.
#pragma once

#include <functional>
#include <string>

#include "base/Outcome.h"
#include "catalogue/FontSelection.h"

namespace corvelle {

class Profile;

// Reads the file of `profile` again under the profile lock, lets `change` set its keys on the
// fresh copy (returning false leaves the file as it is), saves it, and makes `profile` that copy.
// The lock is waited for: other runs hold it only to read, change and save. When the file could
// not be read or saved the outcome says why, and `profile` keeps what it held.
Outcome UpdateStoredProfile(Profile& profile, const std::function<bool(Profile& fresh)>& change);

// The positions where the window and the stored profile each changed the selection they both
// started from, to different fonts.
struct SelectionMerge {
  FontSelection merged;         // the window's changes over what is stored now
  std::string conflicts;        // the clashing position numbers ("10, 12"), empty when none
};
SelectionMerge MergeSelections(const FontSelection& base, const FontSelection& shown, const FontSelection& stored);

}  // namespace corvelle
