// SPDX-License-Identifier: MIT
// Checking a font set image against its own header.
#include "fontset/ImageReader.h"

#include <algorithm>
#include <cstdio>

#include "base/Text.h"
#include "base/FileHandle.h"
#include "fontset/FontSetFormat.h"

namespace corvelle {
namespace {

std::uint32_t BigEndianAt(std::string_view bytes, std::uint32_t at) {
  const auto byte = [&](std::uint32_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i]));
  };
  return byte(0) << 24 | byte(1) << 16 | byte(2) << 8 | byte(3);
}

class Checker {
 public:
  Checker(std::string_view prefix, ImageReport& report) : m_prefix(prefix), m_report(report) {}

  void Problem(std::string text) {
    if (m_report.verdict.message.empty()) m_report.verdict = Outcome::Failure(std::move(text));
  }

  // Picks the format by where its tag is. A FontSet.SHC image cannot hold the tag at 0xF8: that
  // is inside its part-0 table, whose entries never take those values.
  const ImageFormatSpec* Format() {
    if (HasTagAt(kLegacyFontSetFormat.TagAt())) return &kLegacyFontSetFormat;
    if (HasTagAt(kFontSetFormat.TagAt())) return &kFontSetFormat;
    if (m_report.fileSize < kLegacyFontSetFormat.headerSize) {
      Problem("the file is " + std::to_string(m_report.fileSize) + " bytes, shorter than any image header");
    } else {
      Problem("no image tag (KRV1D3 22 11) at 0xF8 or 0x808");
    }
    return nullptr;
  }

  void ReadHeader(const ImageFormatSpec& format) {
    m_report.headerSize = format.headerSize;
    m_report.tableCount = BigEndianAt(m_prefix, format.CountAt());
    m_report.tag = std::string(m_prefix.substr(format.TagAt(), kImageTag.size()));
    if (format.zeroWordInTrailer) m_report.zeroWord = BigEndianAt(m_prefix, format.trailerAt);
    if (m_report.tableCount != static_cast<std::uint32_t>(format.positionCount)) {
      Problem("table count " + std::to_string(m_report.tableCount) + " at " + HexNumber(format.CountAt()) +
              ", expected " + std::to_string(format.positionCount));
    }
    if (m_report.zeroWord != 0) Problem("the word at " + HexNumber(format.trailerAt) + " is not zero");
    if (m_report.fileSize > format.sizeLimit) {
      Problem("the image is " + HexNumber(m_report.fileSize) + " bytes, more than the limit " +
              HexNumber(format.sizeLimit));
    }
    for (std::uint32_t at = format.FillerAt(); at < format.trailerAt; ++at) {
      if (m_prefix[at] != '\xFF') {
        Problem("filler byte at " + HexNumber(at) + " is not 0xFF");
        break;
      }
    }
  }

  void ReadSections(const ImageFormatSpec& format) {
    std::vector<ImageEntry> placed;
    for (int part = 0; part < 2; ++part) {
      for (int k = 0; k < format.positionCount; ++k) {
        const std::uint32_t at = static_cast<std::uint32_t>((part * format.positionCount + k) * 4);
        const std::uint32_t offset = BigEndianAt(m_prefix, at);
        if (format.absentIsMarked && offset == kAbsentPart) continue;
        placed.push_back({k + 1, part, offset, 0, false});
      }
    }
    for (size_t i = 0; i < placed.size(); ++i) {
      ImageEntry& entry = placed[i];
      const std::uint64_t next = i + 1 < placed.size() ? placed[i + 1].offset : m_report.fileSize;
      entry.size = next > entry.offset ? next - entry.offset : 0;
      // A section that simply ends at the boundary has no fill: only a 0xFF byte just below the
      // boundary can be fill.
      entry.includesBoundaryFill = format.movesAcrossBoundary && entry.offset < AREA_BOUNDARY &&
                                   next == AREA_BOUNDARY && m_prefix.size() >= AREA_BOUNDARY &&
                                   m_prefix[AREA_BOUNDARY - 1] == '\xFF';
      CheckEntry(format, entry, i == 0 ? nullptr : &placed[i - 1]);
    }
    for (const ImageEntry& entry : placed) {
      if (format.absentIsMarked || entry.size > 0) m_report.entries.push_back(entry);
    }
    if (m_report.entries.empty()) Problem("the image holds no fonts");
  }

 private:
  bool HasTagAt(std::uint32_t at) const {
    return m_prefix.size() >= at + kImageTag.size() && m_prefix.substr(at, kImageTag.size()) == kImageTag;
  }

  static std::string Name(const ImageEntry& entry) {
    return "position " + std::to_string(entry.position) + " part " + std::to_string(entry.part);
  }

  void CheckEntry(const ImageFormatSpec& format, const ImageEntry& entry, const ImageEntry* previous) {
    const std::string where = Name(entry) + " at " + HexNumber(entry.offset);
    if (entry.offset < format.headerSize) return Problem(where + " points into the header");
    if (entry.offset > m_report.fileSize)
      return Problem(where + " lies beyond the end of the file (" + HexNumber(m_report.fileSize) + ")");
    if (previous && entry.offset < previous->offset) {
      return Problem(where + " comes before " + Name(*previous) + " at " + HexNumber(previous->offset));
    }
    if (!previous && entry.offset != format.headerSize &&
        !(format.movesAcrossBoundary && MovedToBoundary(format, entry))) {
      return Problem(where + " does not start at the end of the header (" + HexNumber(format.headerSize) + ")");
    }
    if (format.movesAcrossBoundary && entry.offset < AREA_BOUNDARY && entry.offset + entry.size > AREA_BOUNDARY) {
      return Problem(where + " (" + std::to_string(entry.size) + " bytes) crosses the area boundary " +
                     HexNumber(AREA_BOUNDARY));
    }
  }

  // The first section may start at the boundary when it alone did not fit below it; then only
  // fill lies between the header and the boundary.
  bool MovedToBoundary(const ImageFormatSpec& format, const ImageEntry& entry) const {
    if (entry.offset != AREA_BOUNDARY || m_prefix.size() < AREA_BOUNDARY) return false;
    return m_prefix.substr(format.headerSize, AREA_BOUNDARY - format.headerSize).find_first_not_of('\xFF') ==
           std::string_view::npos;
  }

  std::string_view m_prefix;
  ImageReport& m_report;
};

// `prefix` holds the first bytes of an image of `fileSize` bytes: all of them, or at least
// IMAGE_LIMIT when the file is longer.
ImageReport Inspect(std::string_view prefix, std::uint64_t fileSize) {
  ImageReport report;
  report.fileSize = fileSize;
  Checker checker(prefix, report);
  if (const ImageFormatSpec* format = checker.Format()) {
    report.kind = format->positionCount == kFontSetFormat.positionCount ? ImageKind::FontSet : ImageKind::LegacyFontSet;
    checker.ReadHeader(*format);
    checker.ReadSections(*format);
  }
  if (report.verdict.message.empty()) report.verdict = {};
  return report;
}

}  // namespace

std::string_view ImageKindName(ImageKind kind) {
  switch (kind) {
    case ImageKind::FontSet:
      return kFontSetFormat.defaultFileName;
    case ImageKind::LegacyFontSet:
      return kLegacyFontSetFormat.defaultFileName;
    case ImageKind::Unknown:
      break;
  }
  return "unknown";
}

std::uint64_t ImageReport::SectionBytes() const {
  std::uint64_t total = 0;
  for (const ImageEntry& entry : entries) total += entry.size;
  return total;
}

ImageReport InspectImage(std::string_view bytes) { return Inspect(bytes, bytes.size()); }

ImageReport InspectImageFile(const std::string& path) {
  FileHandle file = FileHandle::OpenRegularForReading(path);
  if (!file.IsOpen()) {
    ImageReport report;
    report.verdict = Outcome::Failure("cannot open " + path + " (" + file.ErrorText() + ")");
    return report;
  }
  std::string prefix;
  char buffer[64 * 1024];
  while (prefix.size() < IMAGE_LIMIT) {
    const long n = file.Read(buffer, std::min<size_t>(sizeof buffer, IMAGE_LIMIT - prefix.size()));
    if (n < 0) {
      ImageReport report;
      report.verdict = Outcome::Failure("cannot read " + path + " (" + file.ErrorText() + ")");
      return report;
    }
    if (n == 0) return Inspect(prefix, prefix.size());
    prefix.append(buffer, static_cast<size_t>(n));
  }
  // An image of exactly IMAGE_LIMIT bytes ends here; a longer one is looked at only as far as
  // its first IMAGE_LIMIT bytes, and its size comes from the file.
  char extra;
  const long more = file.Read(&extra, 1);
  if (more == 0) return Inspect(prefix, prefix.size());
  return Inspect(prefix, std::max<std::uint64_t>(file.LengthAtOpen(), prefix.size() + 1));
}

}  // namespace corvelle
