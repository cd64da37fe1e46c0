// SPDX-License-Identifier: MIT
// The profile's lock file.
#include "base/ProfileLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "base/FileWrite.h"
#include "base/Paths.h"

namespace corvelle {

ProfileLock::ProfileLock(const std::string& profilePath, const std::function<bool()>& stopRequested) {
  // The lock belongs to the profile the link names, like the save, so every run locks one file.
  const auto resolved = ResolveFileLink(profilePath);
  // A link that may not be followed is no profile to lock (its save is refused too); nor is an
  // empty name, whose lock would be made in the current folder.
  if (!resolved || resolved->empty()) return;
  const std::string& target = *resolved;
  // The first run of a new user makes the profile's folder here, so that concurrent first runs
  // lock one file too.
  const std::string folder = ParentFolder(target);
  if (!folder.empty()) MakeFolders(folder, 0700);
  const std::string lock = target + ".lock";
  m_handle = ::open(lock.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, kPrivateFileMode);
  if (m_handle < 0) return;
  // flock sleeps in the kernel; a signal (Ctrl-C) interrupts it with EINTR.
  while (::flock(m_handle, LOCK_EX) != 0) {
    if (errno != EINTR || (stopRequested && stopRequested())) return;
  }
  m_held = true;
}

ProfileLock::~ProfileLock() {
  if (m_handle >= 0) ::close(m_handle);
}

}  // namespace corvelle
