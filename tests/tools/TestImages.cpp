// Hand-made font set images for the simulator's tests.
#include "tools/TestImages.h"

namespace corvelle::test {
namespace {

constexpr std::uint32_t kBoundary = 0x150000;
constexpr std::uint32_t kAbsent = 0xFFFFFFFF;

void PutBigEndian(std::string& bytes, std::size_t at, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes[at + static_cast<std::size_t>(i)] = static_cast<char>(value >> (24 - 8 * i));
}

// Deterministic section content, different for every section, never 0xFF.
void AppendSection(std::string& image, std::uint32_t size, int seed) {
  for (std::uint32_t i = 0; i < size; ++i)
    image += static_cast<char>((i * 7 + static_cast<std::uint32_t>(seed) * 31) % 251);
}

std::string Header(std::size_t slots, std::size_t headerSize, std::size_t trailerAt, bool zeroWord) {
  std::string header(headerSize, '\xFF');
  std::size_t at = trailerAt;
  if (zeroWord) {
    PutBigEndian(header, at, 0);
    at += 4;
  }
  PutBigEndian(header, at, static_cast<std::uint32_t>(slots));
  header.replace(at + 4, 8, "KRV1D3\x22\x11", 8);
  return header;
}

}  // namespace

std::string MakeFontSetImage(const std::vector<std::uint32_t>& sectionSizes) {
  constexpr std::size_t kSlots = 112;
  std::string image = Header(kSlots, 0x810, 0x800, true);
  for (std::size_t k = 0; k < 2 * kSlots; ++k) PutBigEndian(image, 4 * k, kAbsent);
  for (std::size_t k = 0; k < sectionSizes.size(); ++k) {
    const std::uint32_t size = sectionSizes[k];
    if (image.size() < kBoundary && image.size() + size > kBoundary) image.resize(kBoundary, '\xFF');
    PutBigEndian(image, 4 * k, static_cast<std::uint32_t>(image.size()));
    AppendSection(image, size, static_cast<int>(k));
  }
  return image;
}

std::string MakeLegacyImage(const std::vector<std::uint32_t>& sectionSizes) {
  constexpr std::size_t kSlots = 8;
  std::string image = Header(kSlots, 0x100, 0xF4, false);
  std::uint32_t offset = 0x100;
  for (std::size_t k = 0; k < kSlots; ++k) {
    PutBigEndian(image, 4 * k, offset);
    if (k < sectionSizes.size()) offset += sectionSizes[k];
  }
  for (std::size_t k = 0; k < kSlots; ++k) PutBigEndian(image, 4 * (kSlots + k), offset);
  for (std::size_t k = 0; k < sectionSizes.size(); ++k) AppendSection(image, sectionSizes[k], static_cast<int>(k));
  return image;
}

std::string MakeTwoAreaImage(std::uint32_t total) {
  return MakeFontSetImage({kBoundary - 0x810 - 0x1000, total - kBoundary});
}

std::string Announcement(int area, std::size_t length) {
  return std::string(area == 1 ? "?Z:&" : "?Z;&") + std::to_string(length) + "\n";
}

}  // namespace corvelle::test
