// SPDX-License-Identifier: MIT
// The printer locks on Windows: LockFileEx on a file in %LOCALAPPDATA%\Corvelle\locks. The lock
// covers one byte far beyond the end of the file, so that a run finding it held can still read
// the holder's record at its start.
#include <windows.h>

#include <cstring>

#include "base/Paths.h"
#include "base/PathsPlatform.h"
#include "base/PrinterLock.h"
#include "base/win/WinText.h"

namespace corvelle {
namespace {

constexpr DWORD kMaxRecord = 256;
constexpr DWORD kLockedByteHigh = 0x40000000;

OVERLAPPED LockedByte() {
  OVERLAPPED at{};
  at.OffsetHigh = kLockedByteHigh;
  return at;
}

std::string ReadRecord(const std::string& path) {
  const HANDLE file = ::CreateFileW(win::Widen(path).c_str(), GENERIC_READ,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "";
  char buffer[kMaxRecord];
  DWORD n = 0;
  const bool read = ::ReadFile(file, buffer, sizeof buffer, &n, nullptr) != 0;
  ::CloseHandle(file);
  return read ? std::string(buffer, n) : "";
}

std::string ProgramName() {
  wchar_t path[MAX_PATH];
  const DWORD n = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return n == 0 || n >= MAX_PATH ? "corvelle" : FileNamePart(win::Narrow(std::wstring_view(path, n)));
}

}  // namespace

PrinterLock::PrinterLock(const std::string& printer) {
  const std::string folder = JoinPath(PerUserDataFolder(), "locks");
  if (std::string problem = PrepareOwnFolder(folder); !problem.empty()) {
    m_text = std::move(problem);
    return;
  }
  const std::string path = JoinPath(folder, PrinterLockFileName(printer));
  const HANDLE file = ::CreateFileW(win::Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                                    FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) {
    m_text = "cannot open the lock file " + path + ": " + std::strerror(win::SetErrnoFromLastError());
    return;
  }
  m_handle = file;
  OVERLAPPED at = LockedByte();
  if (!::LockFileEx(file, LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY, 0, 1, 0, &at)) {
    const DWORD error = ::GetLastError();
    Release();
    if (error == ERROR_LOCK_VIOLATION || error == ERROR_IO_PENDING) {
      m_state = State::Busy;
      m_text = HolderText(ReadRecord(path));
    } else {
      m_text = "cannot lock " + path + ": " + std::strerror(win::ErrnoFromWin32(error));
    }
    return;
  }
  m_state = State::Held;
  // Who holds it is only told to others; a record that cannot be written changes nothing else.
  const std::string record = HolderRecord(ProgramName(), static_cast<long long>(::GetCurrentProcessId()));
  DWORD written = 0;
  if (::SetFilePointer(file, 0, nullptr, FILE_BEGIN) == 0 && ::SetEndOfFile(file)) {
    ::WriteFile(file, record.data(), static_cast<DWORD>(record.size()), &written, nullptr);
  }
}

// Closing the handle releases the lock.
void PrinterLock::Release() {
  if (m_handle != kNoHandle) ::CloseHandle(m_handle);
  m_handle = kNoHandle;
}

std::string CanonicalPath(const std::string& path) {
  const std::wstring wide = win::Widen(path);
  const DWORD size = ::GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD n = ::GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (n == 0 || n >= size) return path;
  full.resize(n);
  return win::Narrow(full);
}

}  // namespace corvelle
