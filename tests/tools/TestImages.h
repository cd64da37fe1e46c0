// Font set images written out by hand from their layout, for feeding the substitute printer.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace corvelle::test {

// FontSet.SHC of `total` bytes: one section, or, beyond the area boundary (0x150000), a section
// below it and one from it to the end, after 0xFF fill, as the builder places a section that would
// cross it. Section bytes never hold 0xFF and differ from section to section.
std::string MakeFontSetImage(std::uint32_t total);

// FontSet.SHF with part 0 of positions 1..n holding sections of the given sizes (n <= 8).
std::string MakeLegacyImage(const std::vector<std::uint32_t>& sectionSizes);

// The announcement that precedes an area: "?Z:&" (area 1) or "?Z;&" (area 2), the decimal
// length, 0x0A.
std::string Announcement(int area, std::size_t length);

}  // namespace corvelle::test
