// SPDX-License-Identifier: MIT
// The frozen image of a download to several printers on Windows: a temporary file that goes
// when the program lets it go, and that no one may write, rename or delete while it is held.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <atomic>
#include <cerrno>
#include <cstring>

#include "base/win/WinText.h"
#include "cli/FleetDownload.h"

namespace corvelle::cli {
namespace {

// A new temporary file for the snapshot, `path` its name: made with CREATE_NEW, so nothing
// that exists (a link planted there included) is opened. Shared for reading only, so every
// other opening that would write, rename or delete it is refused while this one is held, and
// deleted on its close. -1 with errno set when none can be made.
int CreateSnapshotFile(std::string& path) {
  static std::atomic<unsigned> made{0};
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  if (length == 0 || length > MAX_PATH) {
    errno = ENOENT;
    return -1;
  }
  const std::string stem = win::Narrow(folder) + "corvelle-image-" + std::to_string(::GetCurrentProcessId()) + "-";
  for (int attempt = 0; attempt < 100; ++attempt) {
    path = stem + std::to_string(made.fetch_add(1)) + ".tmp";
    const HANDLE handle =
        ::CreateFileW(win::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE, FILE_SHARE_READ, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
      if (fd < 0) ::CloseHandle(handle);
      return fd;
    }
    if (win::SetErrnoFromLastError() != EEXIST) return -1;
  }
  return -1;
}

// The volume and file index of an open file: equal for two openings of one file.
bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION x{};
  BY_HANDLE_FILE_INFORMATION y{};
  return ::GetFileInformationByHandle(a, &x) && ::GetFileInformationByHandle(b, &y) &&
         x.dwVolumeSerialNumber == y.dwVolumeSerialNumber && x.nFileIndexHigh == y.nFileIndexHigh &&
         x.nFileIndexLow == y.nFileIndexLow;
}

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

}  // namespace

const char* const ImageSnapshot::kKeepFailure = "cannot keep a copy of the image";

UniqueFd ImageSnapshot::CreateCopy(std::string& path) { return UniqueFd(CreateSnapshotFile(path)); }

// The copy's own opening already refuses every other writer.
Outcome ImageSnapshot::Seal(const UniqueFd&) { return {}; }

FileHandle ImageSnapshot::Open() const {
  // The snapshot's own opening holds write and delete access, so each reading must share both.
  const HANDLE handle =
      ::CreateFileW(win::Widen(m_path).c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    win::SetErrnoFromLastError();
    return FileHandle::Adopt(-1);
  }
  // The name is only the way back to the file held: anything else found under it is refused.
  if (!SameFile(handle, HandleOf(m_fd.Get()))) {
    ::CloseHandle(handle);
    errno = EINVAL;
    return FileHandle::Adopt(-1);
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDONLY | _O_BINARY);
  if (fd < 0) ::CloseHandle(handle);
  return FileHandle::Adopt(fd);
}

}  // namespace corvelle::cli
