// SPDX-License-Identifier: MIT
// The system side of temporary names on Windows: BCryptGenRandom, process ids asked through
// OpenProcess, folders listed with FindFirstFileW. The per-user folders are the user's own by
// their ACLs, and a file the user may not delete stays where it is.
#include <windows.h>
#include <bcrypt.h>

#include <cerrno>

#include "base/Paths.h"
#include "base/TempFiles.h"
#include "base/win/WinText.h"

namespace corvelle::temp_files {

bool RandomBytes(std::string& bytes) {
  if (!BCRYPT_SUCCESS(::BCryptGenRandom(nullptr, reinterpret_cast<PUCHAR>(bytes.data()),
                                        static_cast<ULONG>(bytes.size()), BCRYPT_USE_SYSTEM_PREFERRED_RNG))) {
    errno = EIO;
    return false;
  }
  return true;
}

unsigned long CurrentProcess() { return ::GetCurrentProcessId(); }

std::vector<std::string> OwnFilesIn(const std::string& folder) {
  std::vector<std::string> names;
  WIN32_FIND_DATAW found {};
  const HANDLE search = ::FindFirstFileW(win::Widen(JoinPath(folder, "*")).c_str(), &found);
  if (search == INVALID_HANDLE_VALUE) return names;
  do {
    if (!(found.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE))) {
      names.push_back(win::Narrow(found.cFileName));
    }
  } while (::FindNextFileW(search, &found));
  ::FindClose(search);
  return names;
}

bool ProcessGone(unsigned long process) {
  const HANDLE handle = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(process));
  if (!handle) return ::GetLastError() == ERROR_INVALID_PARAMETER;  // no such process
  DWORD code = 0;
  const bool gone = ::GetExitCodeProcess(handle, &code) && code != STILL_ACTIVE;
  ::CloseHandle(handle);
  return gone;
}

bool RemoveFile(const std::string& path) { return ::DeleteFileW(win::Widen(path).c_str()) != 0; }

}  // namespace corvelle::temp_files
