// Font set images written out by hand from their layout, for feeding the substitute printer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvelle::test {

// FontSet.SHC with part 0 of positions 1..n holding sections of the given sizes, in order.
// A section that would cross the area boundary (0x150000) starts at it, after 0xFF fill, as the
// builder places it. Section bytes never hold 0xFF.
std::string MakeFontSetImage(const std::vector<std::uint32_t>& sectionSizes);

// FontSet.SHF with part 0 of positions 1..n holding sections of the given sizes (n <= 8).
std::string MakeLegacyImage(const std::vector<std::uint32_t>& sectionSizes);

// A FontSet.SHC image of exactly `total` bytes (more than 0x151000) that the download splits in two:
// one section below the boundary, one from the boundary to the end.
std::string MakeTwoAreaImage(std::uint32_t total);

// The announcement that precedes an area: "?Z:&" (area 1) or "?Z;&" (area 2), the decimal
// length, 0x0A.
std::string Announcement(int area, std::size_t length);

}  // namespace corvelle::test
