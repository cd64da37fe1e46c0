// SPDX-License-Identifier: MIT
// The regular file's descriptor, and the whole-file read built on it.
#include "base/FileHandle.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/FileSystem.h"

namespace corvelle {

FileHandle::~FileHandle() {
  if (m_fd >= 0) ::close(m_fd);
}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_error(other.m_error),
      m_length(other.m_length),
      m_notRegular(other.m_notRegular) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
    m_error = other.m_error;
    m_length = other.m_length;
    m_notRegular = other.m_notRegular;
  }
  return *this;
}

FileHandle FileHandle::OpenRegularForReading(const std::string& path) {
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it is refused below anyway.
  // O_NONBLOCK stays: reads of regular files ignore it.
  // A path with a NUL would open only its part before the NUL: some other file.
  if (path.find('\0') != std::string::npos) return FileHandle(-1, ENOENT);
  return Adopt(OpenForReading(path));
}

FileHandle FileHandle::Adopt(int fd) {
  if (fd < 0) return FileHandle(-1, errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    FileHandle refused(-1, error);
    refused.m_notRegular = true;
    return refused;
  }
  FileHandle file(fd, 0);
  file.m_length = static_cast<std::uint64_t>(st.st_size);
  return file;
}

std::string FileHandle::ErrorText() const { return std::strerror(m_error); }

long FileHandle::Read(char* buffer, std::size_t size) {
  for (;;) {
    const ssize_t n = ::read(m_fd, buffer, size);
    if (n >= 0) return static_cast<long>(n);
    if (errno != EINTR) {
      m_error = errno;
      return -1;
    }
  }
}

bool FileHandle::Seek(std::int64_t offset) {
  const auto where = offset < 0 ? ::lseek(m_fd, static_cast<off_t>(offset), SEEK_END)
                                : ::lseek(m_fd, static_cast<off_t>(offset), SEEK_SET);
  if (where >= 0) return true;
  m_error = errno;
  return false;
}

bool FileHandle::Close() {
  if (m_fd < 0) return true;
  const int result = ::close(std::exchange(m_fd, -1));
  if (result != 0 && errno != EINTR) {
    m_error = errno;
    return false;
  }
  return true;
}

FileText ReadRegularFile(const std::string& path, std::size_t cap) {
  FileText read;
  FileHandle file = FileHandle::OpenRegularForReading(path);
  if (!file.IsOpen()) {
    read.status = file.NotRegular() ? FileText::Status::NotRegular : FileText::Status::CannotOpen;
    read.error = file.Error();
    return read;
  }
  if (file.LengthAtOpen() > cap) {
    read.status = FileText::Status::TooLarge;
    return read;
  }
  read.text.reserve(static_cast<std::size_t>(file.LengthAtOpen()));
  char buffer[64 * 1024];
  for (;;) {
    const long n = file.Read(buffer, sizeof buffer);
    if (n == 0) return read;
    if (n < 0) {
      read.status = FileText::Status::ReadFailed;
      read.error = file.Error();
      break;
    }
    read.text.append(buffer, static_cast<std::size_t>(n));
    // The file may have grown since it was opened.
    if (read.text.size() > cap) {
      read.status = FileText::Status::TooLarge;
      break;
    }
  }
  read.text.clear();
  return read;
}

}  // namespace corvelle
