// SPDX-License-Identifier: MIT
// A file descriptor of a regular file owned for the length of one operation, with the few calls
// its readers need (the image reader, the download, the profile, the settings, the catalogue and
// the history), and the whole-file read with a size cap. Failures are results carrying errno;
// nothing throws.
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
  // The open found something that is not a regular file (or could not tell what it found).
  bool NotRegular() const { return m_notRegular; }
  // errno of the last failed call (the open, for a handle that is not open).
  int Error() const { return m_error; }
  // strerror of Error().
  std::string ErrorText() const;

  // Length of a file opened by OpenRegularForReading or adopted, as the file system gave it then.
  std::uint64_t LengthAtOpen() const { return m_length; }
  // Up to `size` bytes; 0 at the end; -1 on error. Interrupted calls are repeated.
  long Read(char* buffer, std::size_t size);
  // Moves the reading position to `offset` from the start (negative: back from the end); false
  // on error.
  bool Seek(std::int64_t offset);
  // Closes the descriptor; false when the close reports an error (the data may be lost).
  bool Close();

 private:
  explicit FileHandle(int fd, int error) : m_fd(fd), m_error(error) {}
  int m_fd = -1;
  int m_error = 0;
  std::uint64_t m_length = 0;
  bool m_notRegular = false;
};

// The whole of a regular file, or why not.
struct FileText {
  enum class Status { Read, CannotOpen, NotRegular, TooLarge, ReadFailed };
  Status status = Status::Read;
  int error = 0;     // errno of CannotOpen and ReadFailed
  std::string text;  // all of the file when Read, else empty
};

// The regular file at `path` (opened as OpenRegularForReading does) when it holds at most `cap`
// bytes, also when it grows while it is read.
FileText ReadRegularFile(const std::string& path, std::size_t cap);

}  // namespace corvelle
