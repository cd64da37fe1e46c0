// Hand-made font set images for the simulator's tests.
#include "tools/TestImages.h"

namespace corvelle::test {
namespace {

constexpr std::uint32_t kBoundary = 0x150000;

void PutBigEndian(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (std::size_t i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>(value >> (24 - 8 * i));
}

// The offset table (absent entries 0xFF), then the table count and the image tag at `trailerAt`.
std::string Header(std::size_t slots, std::size_t headerSize, std::size_t trailerAt) {
  std::string header(headerSize, '\xFF');
  PutBigEndian(header, trailerAt, static_cast<std::uint32_t>(slots));
  header.replace(trailerAt + 4, 8, "KRV1D3\x22\x11", 8);
  return header;
}

// Deterministic section bytes, never 0xFF.
void AppendSection(std::string& image, std::uint32_t size, std::size_t seed) {
  for (std::uint32_t i = 0; i < size; ++i) image += static_cast<char>((i * 7 + seed * 31) % 251);
}

}  // namespace

std::string MakeFontSetImage(std::uint32_t total) {
  std::string image = Header(112, 0x810, 0x804);
  PutBigEndian(image, 0x800, 0);
  PutBigEndian(image, 0, 0x810);
  AppendSection(image, (total > kBoundary ? kBoundary - 0x1000 : total) - 0x810, 0);
  if (total > kBoundary) {
    image.resize(kBoundary, '\xFF');
    PutBigEndian(image, 4, kBoundary);
    AppendSection(image, total - kBoundary, 1);
  }
  return image;
}

std::string MakeLegacyImage(const std::vector<std::uint32_t>& sectionSizes) {
  std::string image = Header(8, 0x100, 0xF4);
  // Part 0 of positions 1..n, then the empty rest and all of part 1, each at the end of what is there.
  for (std::size_t k = 0; k < 16; ++k) {
    PutBigEndian(image, 4 * k, static_cast<std::uint32_t>(image.size()));
    if (k < sectionSizes.size()) AppendSection(image, sectionSizes[k], k);
  }
  return image;
}

std::string Announcement(int area, std::size_t length) {
  return std::string(area == 1 ? "?Z:&" : "?Z;&") + std::to_string(length) + "\n";
}

}  // namespace corvelle::test
