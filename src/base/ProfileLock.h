// SPDX-License-Identifier: MIT
// An advisory lock (flock; LockFileEx on Windows) on a lock file beside the profile, held by a
// run that reads the profile, changes it and saves it, so that runs at the same time take turns
// instead of each saving over the others' changes.
#pragma once

#include <functional>
#include <string>

#include "base/NativeHandle.h"

namespace corvelle {

class ProfileLock {
 public:
  // Waits for the lock on `profilePath` + ".lock" (made 0600 beside the profile, and its folder
  // 0700 when missing). The wait ends early when a signal interrupts it and `stopRequested` says
  // so; the lock is then not held. A lock file that cannot be made leaves the run unlocked (its
  // save then fails on the same folder and says why).
  explicit ProfileLock(const std::string& profilePath, const std::function<bool()>& stopRequested = {});
  ~ProfileLock();
  ProfileLock(const ProfileLock&) = delete;
  ProfileLock& operator=(const ProfileLock&) = delete;

  bool Held() const { return m_held; }

 private:
  NativeHandle m_handle = kNoHandle;
  bool m_held = false;
};

}  // namespace corvelle
