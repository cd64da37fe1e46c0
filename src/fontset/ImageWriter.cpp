// SPDX-License-Identifier: MIT
// Writing a planned font set image.
#include "fontset/ImageWriter.h"

#include <algorithm>
#include <cstring>

#include "base/FileWrite.h"
#include "resources/Strings.h"

namespace corvelle {

std::string OpenErrorText(const std::string& path, const std::string& reason) {
  return std::string(LoadStr(IDS_OUTPUT_FILE_ERROR)) + "\n" + path + " (" + reason + ")";
}

std::string WriteErrorText(const std::string& path, const std::string& reason) {
  return "Error writing output file\n" + path + " (" + reason + ")";
}

namespace {

class ImageOutput {
 public:
  ImageOutput(AtomicFile& image, const std::string& imagePath, const std::function<bool()>& stopRequested)
      : m_image(image), m_imagePath(imagePath), m_stopRequested(stopRequested) {}

  bool Write(const char* data, size_t size) {
    if (m_stopRequested && m_stopRequested()) {
      m_stopped = true;
      return false;
    }
    if (!m_image.Write(data, size)) {
      m_error = WriteErrorText(m_imagePath, std::strerror(m_image.Error()));
      return false;
    }
    m_written += size;
    return true;
  }

  bool Fill(std::uint64_t count, char* buffer) {
    std::memset(buffer, 0xFF, kCopyBlock);
    while (count > 0) {
      const size_t n = static_cast<size_t>(std::min<std::uint64_t>(count, kCopyBlock));
      if (!Write(buffer, n)) return false;
      count -= n;
    }
    return true;
  }

  // Streams the fragment `path` into the image, refusing one that is gone or no longer
  // `expected` bytes long.
  bool Copy(const std::string& path, std::uint64_t expected, char* buffer) {
    FileHandle source = FileHandle::OpenRegularForReading(path);
    if (!source.IsOpen()) return Fail("Font file disappeared while the font set was built\n" + path);
    return Copy(source, path, expected, buffer);
  }

  bool Copy(FileHandle& source, const std::string& path, std::uint64_t expected, char* buffer) {
    if (source.LengthAtOpen() != expected) return Fail(ChangedText(path));
    std::uint64_t copied = 0;
    for (;;) {
      const long n = source.Read(buffer, kCopyBlock);
      if (n < 0) return Fail("Error reading font file\n" + path + " (" + source.ErrorText() + ")");
      if (n == 0) break;
      copied += static_cast<std::uint64_t>(n);
      if (copied > expected) return Fail(ChangedText(path));
      if (!Write(buffer, static_cast<size_t>(n))) return false;
    }
    return copied == expected || Fail(ChangedText(path));
  }

  bool Fail(std::string error) {
    m_error = std::move(error);
    return false;
  }

  std::uint64_t Written() const { return m_written; }
  const std::string& Error() const { return m_error; }
  bool Stopped() const { return m_stopped; }

 private:
  static std::string ChangedText(const std::string& path) {
    return "Font file changed while the font set was built\n" + path;
  }

  AtomicFile& m_image;
  const std::string& m_imagePath;
  const std::function<bool()>& m_stopRequested;
  std::uint64_t m_written = 0;
  std::string m_error;
  bool m_stopped = false;
};

}  // namespace

ImageWriteResult WriteImage(const ImagePlan& plan, std::string_view header, const std::string& imagePath,
                            const std::function<bool()>& stopRequested) {
  ImageWriteResult result;
  AtomicFile image(imagePath, kFileMode);
  if (!image.IsOpen()) {
    result.error = OpenErrorText(imagePath, std::strerror(image.Error()));
    return result;
  }

  char buffer[kCopyBlock];
  ImageOutput out(image, imagePath, stopRequested);
  bool ok = out.Write(header.data(), header.size());
  for (const PlannedSection& section : plan.sections) {
    if (!ok) break;
    const PartFiles& files = plan.Files(section);
    ok = out.Fill(section.fillBefore, buffer) && out.Copy(files.headerPath, files.headerSize, buffer) &&
         (!files.hasData || out.Copy(files.dataPath, files.dataSize, buffer));
  }
  if (ok && !image.Commit()) ok = out.Fail(WriteErrorText(imagePath, std::strerror(image.Error())));

  result.written = out.Written();
  result.stopped = out.Stopped();
  if (!ok) {
    result.error = out.Error();
    return result;
  }
  result.image = FileHandle::Adopt(image.TakeReader());
  result.ok = true;
  return result;
}

}  // namespace corvelle
