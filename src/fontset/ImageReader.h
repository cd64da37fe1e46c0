// SPDX-License-Identifier: MIT
// Reads a font set image of either format and says whether its header describes its contents:
// used by `corvelle-cli inspect` and by the printer simulator. Nothing read from the image is
// trusted: every offset and size is checked against the file before it is used, and memory
// stays bounded whatever the file holds.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/Outcome.h"

namespace corvelle {

enum class ImageKind {
  Unknown,        // no image tag where either format has it
  FontSet,        // FontSet.SHC: 112 positions, tag at 0x808
  LegacyFontSet,  // FontSet.SHF: 8 positions, tag at 0xF8
};

// "FontSet.SHC", "FontSet.SHF" or "unknown".
std::string_view ImageKindName(ImageKind kind);

// One table entry that places a section.
struct ImageEntry {
  int position = 0;  // 1-based
  int part = 0;      // 0 or 1
  std::uint32_t offset = 0;
  // Bytes from `offset` to the next section's offset, or to the end of the file for the last.
  std::uint64_t size = 0;
  // The next section starts at AREA_BOUNDARY while this one starts below it. The builder may
  // have moved that next section there, after a run of 0xFF fill; the image does not record
  // how long that run is (fragment data may end in 0xFF bytes too), so `size` includes it.
  bool includesBoundaryFill = false;
};

struct ImageReport {
  // Ok when every check passed (the image is consistent); otherwise a failure whose message is
  // the first inconsistency found.
  Outcome verdict = Outcome::Failure({});
  ImageKind kind = ImageKind::Unknown;
  std::uint64_t fileSize = 0;
  // Header fields as read (zero when the header could not be read).
  std::uint32_t headerSize = 0;  // 0x810 or 0x100
  std::uint32_t zeroWord = 0;    // FontSet.SHC: the word at 0x800, zero in a sound image
  std::uint32_t tableCount = 0;  // the count before the tag: 112 or 8 in a sound image
  std::string tag;               // the eight tag bytes
  // The entries that place a section, in image order (part 0 of positions 1.., then part 1).
  // FontSet.SHC: every entry other than 0xFFFFFFFF. FontSet.SHF, where a free position holds
  // the running offset and so looks like an empty section: the entries whose section is not
  // empty.
  std::vector<ImageEntry> entries;

  // Sum of the listed sections' sizes.
  std::uint64_t SectionBytes() const;
};

// Checks: the tag and the table count; the filler; each used offset inside the file, none in
// the header, in ascending image order, the first at the end of the header (FontSet.SHC: or at
// AREA_BOUNDARY with only 0xFF before it); in FontSet.SHC no section crossing AREA_BOUNDARY;
// the file no larger than its format's limit; at least one section.
ImageReport InspectImage(std::string_view bytes);

// The same for a file; a file that cannot be read gives a report with the reason as problem.
// At most IMAGE_LIMIT bytes are read, whatever the file's length.
ImageReport InspectImageFile(const std::string& path);

}  // namespace corvelle
