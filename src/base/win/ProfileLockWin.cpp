// SPDX-License-Identifier: MIT
// The profile's lock file on Windows: LockFileEx on a lock file beside the profile. The lock is
// asked for without blocking and the wait for it sleeps in slices, so that a stop ends it.
#include <windows.h>

#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/ProfileLock.h"
#include "base/win/WinText.h"

namespace corvelle {
namespace {

constexpr DWORD kRetrySliceMs = 50;

bool TryLock(HANDLE file) {
  OVERLAPPED whole{};
  return ::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, MAXDWORD, MAXDWORD, &whole) != 0;
}

}  // namespace

ProfileLock::ProfileLock(const std::string& profilePath, const std::function<bool()>& stopRequested) {
  const std::string folder = ParentFolder(profilePath);
  if (!folder.empty()) MakeFolders(folder, 0700);
  const std::string lock = profilePath + ".lock";
  const HANDLE file = ::CreateFileW(win::Widen(lock).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  m_handle = reinterpret_cast<NativeHandle>(file);
  while (!TryLock(file)) {
    if (::GetLastError() != ERROR_LOCK_VIOLATION || (stopRequested && stopRequested())) return;
    ::Sleep(kRetrySliceMs);
  }
  m_held = true;
}

// Closing the handle releases the lock.
ProfileLock::~ProfileLock() {
  if (m_handle != kNoHandle) ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
}

}  // namespace corvelle
