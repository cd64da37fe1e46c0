// SPDX-License-Identifier: MIT
// The two font set image formats: FontSet.SHC (112 positions, split at the printer's memory-area
// boundary) and the legacy FontSet.SHF of GN1 printers (8 positions). Shared by the builders, the
// image reader and the downloads.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace corvelle {

// Start of the printer's second memory area: the download splits an image here, so no section
// of a FontSet.SHC image may cross it. Also the largest legacy image.
inline constexpr std::uint32_t AREA_BOUNDARY = 0x150000;
// Largest FontSet.SHC image in bytes.
inline constexpr std::uint32_t IMAGE_LIMIT = 0x3A0000;
// Largest FontSet.SHF image in bytes.
inline constexpr std::uint32_t LEGACY_IMAGE_LIMIT = AREA_BOUNDARY;

// Table entry of an absent part in a FontSet.SHC image.
inline constexpr std::uint32_t kAbsentPart = 0xFFFFFFFF;
// The eight bytes that end every image header.
inline constexpr std::string_view kImageTag{"KRV1D3\x22\x11", 8};

// What tells the two formats apart. Header layout: part-0 table, part-1 table (4 big-endian
// bytes per position each), 0xFF filler, the trailer (a zero word in FontSet.SHC only, the
// position count, the tag), then the sections.
struct ImageFormatSpec {
  int positionCount;          // positions read, entries per table
  std::uint32_t headerSize;   // offset of the first section
  std::uint32_t trailerAt;    // offset of the trailer (0x800 / 0xF4)
  bool zeroWordInTrailer;     // FontSet.SHC: four zero bytes before the count
  bool absentIsMarked;        // FontSet.SHC: kAbsentPart; legacy: the running offset
  bool movesAcrossBoundary;   // FontSet.SHC: a section crossing AREA_BOUNDARY moves to it
  std::uint32_t sizeLimit;
  std::string_view defaultFileName;

  constexpr std::uint32_t FillerAt() const { return static_cast<std::uint32_t>(positionCount) * 8; }
  constexpr std::uint32_t CountAt() const { return trailerAt + (zeroWordInTrailer ? 4 : 0); }
  constexpr std::uint32_t TagAt() const { return CountAt() + 4; }
};

inline constexpr ImageFormatSpec kFontSetFormat{112, 0x810, 0x800, true, true, true, IMAGE_LIMIT, "FontSet.SHC"};
inline constexpr ImageFormatSpec kLegacyFontSetFormat{8, 0x100, 0xF4, false, false, false, LEGACY_IMAGE_LIMIT,
                                                      "FontSet.SHF"};

static_assert(kFontSetFormat.TagAt() + kImageTag.size() == kFontSetFormat.headerSize);
static_assert(kLegacyFontSetFormat.TagAt() + kImageTag.size() == kLegacyFontSetFormat.headerSize);

// The scratch file that receives the header before it is copied to the head of the image.
inline constexpr std::string_view kScratchHeaderName = "fontheadkerv.sh";

}  // namespace corvelle
