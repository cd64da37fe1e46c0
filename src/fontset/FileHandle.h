// SPDX-License-Identifier: MIT
// A POSIX file descriptor owned for the length of one operation, with the few calls the image
// reader and the download need. Failures are results carrying errno; nothing throws.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvelle {

class FileHandle {
 public:
  FileHandle() = default;
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  // Opens an existing regular file for reading. Anything else (a missing file, a folder, a
  // device or a pipe, which could block or never end; a path holding a NUL) fails as if it
  // could not be opened.
  static FileHandle OpenRegularForReading(const std::string& path);
  // Takes ownership of `fd`, an open regular file read from its current offset (the reader
  // of a file just written); a descriptor of anything else fails like a bad open.
  static FileHandle Adopt(int fd);

  bool IsOpen() const { return m_fd >= 0; }
  // errno of the last failed call (the open, for a handle that is not open).
  int Error() const { return m_error; }
  // strerror of Error().
  std::string ErrorText() const;

  // Length of a file opened by OpenRegularForReading or adopted, as the file system gave it then.
  std::uint64_t LengthAtOpen() const { return m_length; }
  // Up to `size` bytes; 0 at the end; -1 on error. Interrupted calls are repeated.
  long Read(char* buffer, std::size_t size);
  // Closes the descriptor; false when the close reports an error (the data may be lost).
  bool Close();

 private:
  explicit FileHandle(int fd, int error) : m_fd(fd), m_error(error) {}
  int m_fd = -1;
  int m_error = 0;
  std::uint64_t m_length = 0;
};

}  // namespace corvelle
