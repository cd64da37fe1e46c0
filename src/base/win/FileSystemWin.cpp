// SPDX-License-Identifier: MIT
// The file-system calls over the wide Win32 file APIs, handing C runtime descriptors (binary mode)
// to the readers so that they read and fstat as on Linux.
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>

#include "base/FileSystem.h"
#include "base/win/WinText.h"

namespace corvelle {
namespace {

// Handles are made uninheritable (no SECURITY_ATTRIBUTES), so no child program receives them.
int OpenHandle(const std::string& path, DWORD access, DWORD flags, int crtFlags) {
  if (path.find('\0') != std::string::npos) {
    errno = ENOENT;
    return -1;
  }
  const HANDLE handle = ::CreateFileW(win::Widen(path).c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                      nullptr, OPEN_EXISTING, flags, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    win::SetErrnoFromLastError();
    return -1;
  }
  const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), crtFlags | _O_BINARY);
  if (fd < 0) ::CloseHandle(handle);
  return fd;
}

}  // namespace

int OpenForReading(const std::string& path) {
  // The C runtime's fstat calls a folder a regular file, so a folder is refused here.
  const DWORD attributes = ::GetFileAttributesW(win::Widen(path).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    errno = EISDIR;
    return -1;
  }
  return OpenHandle(path, GENERIC_READ, FILE_ATTRIBUTE_NORMAL, _O_RDONLY);
}

PathStatus StatPath(const std::string& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(win::Widen(path).c_str(), GetFileExInfoStandard, &data)) {
    win::SetErrnoFromLastError();
    return {};
  }
  const bool folder = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  const bool device = (data.dwFileAttributes & FILE_ATTRIBUTE_DEVICE) != 0;
  const unsigned mode = (data.dwFileAttributes & FILE_ATTRIBUTE_READONLY) ? 0444 : 0644;
  return {true, !folder && !device, folder, mode};
}

bool MayWrite(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(win::Widen(path).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    win::SetErrnoFromLastError();
    return false;
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) && !(attributes & FILE_ATTRIBUTE_DIRECTORY)) {
    errno = EACCES;
    return false;
  }
  return true;
}

}  // namespace corvelle
