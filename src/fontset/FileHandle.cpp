// SPDX-License-Identifier: MIT
// POSIX file descriptor wrapper of the font set code.
#include "fontset/FileHandle.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "base/FileWrite.h"

namespace corvelle {

FileHandle::~FileHandle() {
  if (m_fd >= 0) ::close(m_fd);
}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)),
      m_error(other.m_error),
      m_length(other.m_length),
      m_createdRegular(other.m_createdRegular),
      m_device(other.m_device),
      m_inode(other.m_inode) {}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
    m_error = other.m_error;
    m_length = other.m_length;
    m_createdRegular = other.m_createdRegular;
    m_device = other.m_device;
    m_inode = other.m_inode;
  }
  return *this;
}

FileHandle FileHandle::OpenRegularForReading(const std::string& path) {
  // O_NONBLOCK keeps the open of a FIFO from waiting for a writer; it is refused below anyway.
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return FileHandle(-1, errno);
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    const int error = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
    ::close(fd);
    return FileHandle(-1, error);
  }
  // O_NONBLOCK stays: reads of regular files ignore it.
  FileHandle file(fd, 0);
  file.m_length = static_cast<std::uint64_t>(st.st_size);
  return file;
}

FileHandle FileHandle::Create(const std::string& path) {
  const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOCTTY, 0666);
  FileHandle file(fd, fd < 0 ? errno : 0);
  struct stat st {};
  if (fd >= 0 && ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode)) {
    file.m_createdRegular = true;
    file.m_device = st.st_dev;
    file.m_inode = st.st_ino;
  }
  return file;
}

std::string FileHandle::ErrorText() const { return std::strerror(m_error); }

void FileHandle::RemoveIfStill(const std::string& path) {
  struct stat named {};
  if (!m_createdRegular || ::stat(path.c_str(), &named) != 0) return;
  if (named.st_dev == m_device && named.st_ino == m_inode) ::unlink(path.c_str());
}

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

bool FileHandle::WriteAll(const char* data, std::size_t size) {
  if (WriteFully(m_fd, std::string_view(data, size))) return true;
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

}  // namespace corvelle
