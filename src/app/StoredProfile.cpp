// SPDX-License-Identifier: MIT
// The profile read again and changed under its lock.
#include "app/StoredProfile.h"

#include "base/Profile.h"
#include "base/ProfileLock.h"

namespace corvelle {

Outcome UpdateStoredProfile(Profile& profile, const std::function<bool(Profile& fresh)>& change) {
  // A profile that was not read (or not trusted) is never saved over.
  if (!profile.LoadError().empty()) return Outcome::Failure(profile.LoadError());
  const ProfileLock lock(profile.Path());
  Profile fresh(profile.Path());
  if (!fresh.LoadError().empty()) return Outcome::Failure(fresh.LoadError());
  if (!change(fresh)) return {};
  if (Outcome saved = fresh.Save(); !saved) return saved;
  profile = std::move(fresh);
  return {};
}

SelectionMerge MergeSelections(const FontSelection& base, const FontSelection& shown, const FontSelection& stored) {
  SelectionMerge result;
  for (int position = 0; position < kSelectionPositions; ++position) {
    const bool windowChanged = shown[position] != base[position];
    const bool storeChanged = stored[position] != base[position];
    result.merged[position] = windowChanged ? shown[position] : stored[position];
    if (windowChanged && storeChanged && shown[position] != stored[position]) {
      result.conflicts += (result.conflicts.empty() ? "" : ", ") + std::to_string(position + 1);
    }
  }
  return result;
}

}  // namespace corvelle
