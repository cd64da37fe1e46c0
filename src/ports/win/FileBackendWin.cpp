// SPDX-License-Identifier: MIT
// The FILE kind's open on Windows: the file the user picks is opened with CreateFileW, shared for
// reading only (so no other program writes it meanwhile), truncated once it is held, and written
// through a binary C runtime descriptor like the other descriptor kinds.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "base/win/WinText.h"
#include "ports/FileBackend.h"

namespace corvelle {

// A file another program holds open for writing is a sharing violation (EBUSY) and is left alone.
Result<int> OpenOutputFile(PortContext&, const std::string& path) {
  const HANDLE handle = ::CreateFileW(win::Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                                      FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Outcome::SystemError(win::SetErrnoFromLastError());
  if (::GetFileType(handle) == FILE_TYPE_DISK && !::SetEndOfFile(handle)) {
    const int error = win::SetErrnoFromLastError();
    ::CloseHandle(handle);
    return Outcome::SystemError(error);
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
  if (fd < 0) {
    ::CloseHandle(handle);
    return Outcome::SystemError(EMFILE);
  }
  return fd;
}

}  // namespace corvelle
