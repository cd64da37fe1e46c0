// SPDX-License-Identifier: MIT
// Whole-file writing and atomic replacement on Windows: the new file is made beside the target
// with CREATE_NEW (nothing that exists, a link included, is ever opened), written, flushed with
// FlushFileBuffers and moved over the target with MoveFileExW(MOVEFILE_REPLACE_EXISTING).
#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <cerrno>
#include <climits>
#include <utility>

#include "base/FileWrite.h"
#include "base/FileWritePlatform.h"
#include "base/TempFiles.h"
#include "base/win/WinText.h"

namespace corvelle {
namespace {

// The descriptor's handle is a disk file (devices, pipes and consoles cannot be flushed).
bool IsDiskFile(int fd) {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  return handle != INVALID_HANDLE_VALUE && ::GetFileType(handle) == FILE_TYPE_DISK;
}

bool Flush(int fd) {
  const auto handle = reinterpret_cast<HANDLE>(::_get_osfhandle(fd));
  if (::FlushFileBuffers(handle)) return true;
  win::SetErrnoFromLastError();
  return false;
}

// A new file beside `target` under a name nobody can foresee (TemporaryNameBeside); `temp` holds
// its name, and a name that exists all the same is drawn again. Shared for delete so that it can
// be renamed while the reader of a committed file still holds it. -1 with errno set when none can
// be made.
int CreateBeside(const std::string& target, std::string& temp) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    temp = TemporaryNameBeside(target);
    if (temp.empty()) return -1;
    const HANDLE handle =
        ::CreateFileW(win::Widen(temp).c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                      CREATE_NEW, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (handle != INVALID_HANDLE_VALUE) {
      const int fd = ::_open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_RDWR | _O_BINARY);
      if (fd < 0) {
        ::CloseHandle(handle);
        ::DeleteFileW(win::Widen(temp).c_str());
      }
      return fd;
    }
    if (win::SetErrnoFromLastError() != EEXIST) return -1;
  }
  return -1;
}

// A second descriptor of the same open file (sharing its position, as dup does).
int Duplicate(int fd) {
  HANDLE copy = nullptr;
  const HANDLE process = ::GetCurrentProcess();
  if (!::DuplicateHandle(process, reinterpret_cast<HANDLE>(::_get_osfhandle(fd)), process, &copy, 0, FALSE,
                         DUPLICATE_SAME_ACCESS)) {
    return -1;
  }
  const int dup = ::_open_osfhandle(reinterpret_cast<intptr_t>(copy), _O_RDONLY | _O_BINARY);
  if (dup < 0) ::CloseHandle(copy);
  return dup;
}

}  // namespace

long WriteSome(int fd, const char* data, std::size_t size) {
  return ::_write(fd, data, size > INT_MAX ? INT_MAX : static_cast<unsigned>(size));
}

bool SeekToStart(int fd) { return ::_lseeki64(fd, 0, SEEK_SET) == 0; }

Outcome WriteSyncClose(int fd, std::string_view data) {
  Outcome written = WriteFully(fd, data);
  if (written && IsDiskFile(fd) && !Flush(fd)) written = Outcome::SystemFailure(kCannotWrite, errno);
  if (::_close(fd) != 0 && written) written = Outcome::SystemFailure(kCannotWrite, errno);
  return written;
}

// Links are never followed on Windows: the file named is the file replaced.
Result<std::string> ResolveFileLink(const std::string& path) { return path; }

AtomicFile::AtomicFile(const std::string& target, mode_t, LinkPolicy) : m_target(target) {
  m_fd = CreateBeside(m_target, m_temp);
  if (m_fd < 0) m_failure = m_created = Outcome::SystemFailure(kCannotCreate, errno);
}

AtomicFile::~AtomicFile() {
  if (m_fd >= 0) ::_close(m_fd);
  if (m_reader >= 0) ::_close(m_reader);
  if (!m_committed && !m_temp.empty() && m_created) ::DeleteFileW(win::Widen(m_temp).c_str());
}

Outcome AtomicFile::Fail(const char* message, int error) {
  m_failure = Outcome::SystemFailure(message, error);
  if (m_fd >= 0) ::_close(std::exchange(m_fd, -1));
  if (m_reader >= 0) ::_close(std::exchange(m_reader, -1));
  ::DeleteFileW(win::Widen(m_temp).c_str());
  return m_failure;
}

Outcome AtomicFile::Commit() {
  if (m_fd < 0) return m_failure.Ok() ? Outcome::Quiet() : m_failure;
  if (!Flush(m_fd)) return Fail(kCannotWrite, errno);
  m_reader = Duplicate(m_fd);
  if (::_close(std::exchange(m_fd, -1)) != 0) return Fail(kCannotWrite, errno);
  if (!::MoveFileExW(win::Widen(m_temp).c_str(), win::Widen(m_target).c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    return Fail(kCannotReplace, win::SetErrnoFromLastError());
  }
  m_committed = true;
  return {};
}

// Windows has no file-size signal.
Outcome AppendLine(const std::string& path, std::string_view line, mode_t) {
  // FILE_APPEND_DATA alone makes every write land at the end, whoever else appends; a link or a
  // reparse point is opened as itself and then refused for not being a plain disk file.
  const HANDLE handle = ::CreateFileW(win::Widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                      nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return Outcome::SystemFailure(kCannotWrite, win::SetErrnoFromLastError());
  int error = 0;
  BY_HANDLE_FILE_INFORMATION info {};
  if (::GetFileType(handle) != FILE_TYPE_DISK || !::GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & (FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DIRECTORY)) != 0) {
    error = EINVAL;
  } else if (line.size() > static_cast<std::size_t>(INT_MAX)) {
    error = EFBIG;
  } else {
    DWORD written = 0;
    if (!::WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr)) {
      error = win::SetErrnoFromLastError();
    } else if (written != line.size()) {
      error = EIO;
    }
  }
  ::CloseHandle(handle);
  return error == 0 ? Outcome{} : Outcome::SystemFailure(kCannotWrite, error);
}

void IgnoreFileSizeSignal() {}

}  // namespace corvelle
