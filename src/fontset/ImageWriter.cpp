// SPDX-License-Identifier: MIT
// Writing a planned font set image.
#include "fontset/ImageWriter.h"

#include <algorithm>
#include <cstring>
#include <vector>

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

// The image goes out through one buffer of this size: fragments are read straight into it and
// it is written when full, so a build costs a few large reads and writes instead of one pair per
// kilobyte, whatever sizes the header, fills and fragments have.
constexpr std::size_t kImageBlock = 256 * 1024;

class ImageOutput {
 public:
  ImageOutput(AtomicFile& image, const std::string& imagePath, const std::function<bool()>& stopRequested)
      : m_image(image), m_imagePath(imagePath), m_stopRequested(stopRequested), m_buffer(kImageBlock) {}

  bool Write(const char* data, size_t size) {
    while (size > 0) {
      if (m_used == m_buffer.size() && !Flush()) return false;
      const size_t n = std::min(size, m_buffer.size() - m_used);
      std::memcpy(m_buffer.data() + m_used, data, n);
      m_used += n;
      data += n;
      size -= n;
    }
    return true;
  }

  bool Fill(std::uint64_t count) {
    while (count > 0) {
      if (m_used == m_buffer.size() && !Flush()) return false;
      const size_t n = static_cast<size_t>(std::min<std::uint64_t>(count, m_buffer.size() - m_used));
      std::memset(m_buffer.data() + m_used, 0xFF, n);
      m_used += n;
      count -= n;
    }
    return true;
  }

  // Streams the fragment `path` into the image, refusing one that is gone or no longer
  // `expected` bytes long.
  bool Copy(const std::string& path, std::uint64_t expected) {
    FileHandle source = FileHandle::OpenRegularForReading(path);
    if (!source.IsOpen()) return Fail("Font file disappeared while the font set was built\n" + path);
    if (source.LengthAtOpen() != expected) return Fail(ChangedText(path));
    std::uint64_t copied = 0;
    for (;;) {
      if (StopAsked() || (m_used == m_buffer.size() && !Flush())) return false;
      // One byte more than expected is asked for, so a fragment that grew is seen.
      const std::uint64_t wanted = std::min<std::uint64_t>(expected - std::min(copied, expected) + 1, m_buffer.size() - m_used);
      const long n = source.Read(m_buffer.data() + m_used, static_cast<size_t>(wanted));
      if (n < 0) return Fail("Error reading font file\n" + path + " (" + source.ErrorText() + ")");
      if (n == 0) break;
      copied += static_cast<std::uint64_t>(n);
      if (copied > expected) return Fail(ChangedText(path));
      m_used += static_cast<size_t>(n);
    }
    return copied == expected || Fail(ChangedText(path));
  }

  // Whether `stopRequested` asks to stop; asked before each read and write.
  bool StopAsked() {
    if (m_stopRequested && m_stopRequested()) m_stopped = true;
    return m_stopped;
  }

  // Writes what the buffer holds.
  bool Flush() {
    if (StopAsked()) return false;
    if (m_used > 0) {
      if (const Outcome written = m_image.Write(m_buffer.data(), m_used); !written) {
        return Fail(WriteErrorText(m_imagePath, written.detail));
      }
    }
    m_written += m_used;
    m_used = 0;
    return true;
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
  std::vector<char> m_buffer;
  size_t m_used = 0;  // bytes of m_buffer not yet written
  std::uint64_t m_written = 0;
  std::string m_error;
  bool m_stopped = false;
};

}  // namespace

Result<WrittenImage> WriteImage(const ImagePlan& plan, std::string_view header, const std::string& imagePath,
                                const std::function<bool()>& stopRequested) {
  AtomicFile image(imagePath, kFileMode);
  if (!image.IsOpen()) return Outcome::Failure(OpenErrorText(imagePath, image.Created().detail));

  ImageOutput out(image, imagePath, stopRequested);
  bool ok = out.Write(header.data(), header.size());
  for (const PlannedSection& section : plan.sections) {
    if (!ok) break;
    const PartFiles& files = plan.Files(section);
    ok = out.Fill(section.fillBefore) && out.Copy(files.headerPath, files.headerSize) &&
         (!files.hasData || out.Copy(files.dataPath, files.dataSize));
  }
  ok = ok && out.Flush();
  if (ok) {
    if (const Outcome committed = image.Commit(); !committed) ok = out.Fail(WriteErrorText(imagePath, committed.detail));
  }
  if (!ok) return out.Stopped() ? Outcome::Stop() : Outcome::Failure(out.Error());
  return WrittenImage{FileHandle::Adopt(image.TakeReader()), out.Written()};
}

}  // namespace corvelle
