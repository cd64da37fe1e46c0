// SPDX-License-Identifier: MIT
// The image as the download sends it: chunk after chunk of an exact size, read from the file
// ahead of them in large blocks, so that a chunk costs no system call of its own.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "base/FileHandle.h"
#include "base/Outcome.h"

namespace corvelle {

// Bytes per read of the image while it is sent: a multiple of the chunk size, and small enough
// that a thousand printers served at once hold little memory for it.
inline constexpr std::size_t kImageReadAhead = 16 * 1024;

class ImageChunks {
 public:
  // Reads `image` from its current offset on; the handle must outlive this object.
  explicit ImageChunks(FileHandle& image) : m_image(image) {}

  // The next `size` bytes of the image into `chunk`, or a failure whose message is the reason (the
  // file's error, or the file ended first): a chunk never holds bytes the image did not fill.
  Outcome Next(char* chunk, std::size_t size);

 private:
  FileHandle& m_image;
  std::vector<char> m_block;  // read and not yet handed out: [m_at, m_end)
  std::size_t m_at = 0;
  std::size_t m_end = 0;
};

}  // namespace corvelle
