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

int OpenExistingForWriting(const std::string& path) {
  return OpenHandle(path, GENERIC_WRITE, FILE_ATTRIBUTE_NORMAL, _O_WRONLY);
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

std::string RealPath(const std::string& path) {
  const std::wstring wide = win::Widen(path);
  const DWORD n = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (n == 0) {
    win::SetErrnoFromLastError();
    return "";
  }
  std::wstring full(n, L'\0');
  const DWORD written = ::GetFullPathNameW(wide.c_str(), n, full.data(), nullptr);
  if (written == 0 || written >= n) {
    win::SetErrnoFromLastError();
    return "";
  }
  full.resize(written);
  return win::Narrow(full);
}

}  // namespace corvelle
