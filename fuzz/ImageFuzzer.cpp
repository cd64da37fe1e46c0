// SPDX-License-Identifier: MIT
// The image reader: any bytes give a report, a consistent report has no problem text and its
// sections lie inside the file after the header, and nothing is read out of bounds (the
// sanitizers watch that).
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "fontset/FontSetFormat.h"
#include "fontset/ImageReader.h"
#include "fuzz/FuzzTargets.h"

using namespace corvelle;
using fuzz::Check;

int fuzz::FuzzImage(const std::uint8_t* data, std::size_t size) {
  const ImageReport report = InspectImage(std::string_view(reinterpret_cast<const char*>(data), size));
  Check(report.fileSize == size, "file size as given");
  Check(report.verdict.Ok() == report.verdict.message.empty(), "consistent exactly when no problem");
  if (report.kind == ImageKind::Unknown) {
    Check(!report.verdict && report.entries.empty(), "no sections without a format");
    return 0;
  }
  Check(report.headerSize == kFontSetFormat.headerSize || report.headerSize == kLegacyFontSetFormat.headerSize,
        "header size of a format");
  if (!report.verdict) return 0;
  Check(!report.entries.empty(), "a consistent image holds a font");
  std::uint64_t previousEnd = report.headerSize;
  for (const ImageEntry& entry : report.entries) {
    Check(entry.offset >= previousEnd || entry.size == 0, "sections do not overlap");
    Check(entry.offset + entry.size <= size, "section inside the file");
    previousEnd = entry.offset + entry.size;
  }
  Check(report.SectionBytes() <= size - report.headerSize, "sections fit after the header");
  return 0;
}

CORVELLE_FUZZ_ENTRY(FuzzImage)
