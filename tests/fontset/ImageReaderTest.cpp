// The image reader: random builds read back section by section, and damaged images rejected.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>

#include "FontSetKit.h"
#include "fontset/FontSetFormat.h"
#include "fontset/ImageReader.h"

namespace corvelle::test {
namespace {

// A small fixed generator, so every run and every machine sees the same cases.
class Random {
 public:
  explicit Random(std::uint64_t seed) : m_state(seed) {}
  std::uint32_t Below(std::uint32_t n) {
    m_state = m_state * 6364136223846793005ull + 1442695040888963407ull;
    return static_cast<std::uint32_t>(m_state >> 33) % n;
  }
  long SizeOrNone(std::uint32_t noneOneIn, std::uint32_t maxSize) {
    return Below(noneOneIn) == 0 ? kNone : static_cast<long>(Below(maxSize));
  }

 private:
  std::uint64_t m_state;
};

TEST(ImageReader, RandomBuildsReadBackWithEverySectionAtItsOffset) {
  Random random(0x5EED);
  // A pool of fonts with random fragment sets (any fragment may be missing), two of them near
  // the area boundary in size; each round stores a random choice of them at random positions.
  FontSetKit kit;
  std::vector<FontSizes> pool;
  for (int i = 0; i < 80; ++i) {
    FontSizes sizes{random.SizeOrNone(6, 2000), random.SizeOrNone(4, 3000), random.SizeOrNone(2, 500),
                    random.SizeOrNone(3, 3000)};
    if (i < 2) sizes = {100, 0x14F000 + static_cast<long>(random.Below(0x4000)), kNone, kNone};
    kit.AddFont(1, "f" + std::to_string(i), sizes);
    pool.push_back(sizes);
  }
  int built = 0;
  int moved = 0;
  for (int round = 0; round < 300; ++round) {
    const bool legacy = round % 4 == 3;
    const int slots = legacy ? 8 : 112;
    kit.profile = Profile();
    std::map<int, int> stored;  // position -> pool index, the last one stored there
    const int fonts = 1 + static_cast<int>(random.Below(legacy ? 10 : 24));
    for (int i = 0; i < fonts; ++i) {
      const int position = 1 + static_cast<int>(random.Below(legacy ? 12 : 112));
      const bool big = !legacy && i == 0 && round % 24 == 0;
      const int font = static_cast<int>(big ? random.Below(2) : 2 + random.Below(78));
      kit.Store(position, kit.FragmentPath("f" + std::to_string(font), ".she"));
      stored[position] = font;
    }
    const bool ok = legacy ? kit.BuildLegacy() : kit.Build();
    bool anyPartZero = false;
    for (const auto& [position, font] : stored) anyPartZero |= position <= slots && pool[font].header0 != kNone;
    ASSERT_EQ(ok, anyPartZero) << "round " << round << ": " << kit.host.messages.back().text;
    if (!ok) continue;
    ++built;

    const std::string image = ReadFile(kit.builtPath);
    const ImageReport report = InspectImage(image);
    ASSERT_TRUE(report.consistent) << "round " << round << ": " << report.problem;
    EXPECT_EQ(report.kind, legacy ? ImageKind::LegacyFontSet : ImageKind::FontSet);
    size_t listed = 0;
    for (int part = 0; part < 2; ++part) {
      for (const auto& [position, font] : stored) {
        const long header = part == 0 ? pool[font].header0 : pool[font].header1;
        const std::string section = kit.Section("f" + std::to_string(font), part);
        if (position > slots || header == kNone || (legacy && section.empty())) continue;
        ASSERT_LT(listed, report.entries.size()) << "round " << round;
        const ImageEntry& entry = report.entries[listed++];
        moved += entry.offset == AREA_BOUNDARY;
        EXPECT_EQ(entry.position, position);
        EXPECT_EQ(entry.part, part);
        EXPECT_EQ(image.substr(entry.offset, section.size()), section) << "round " << round;
        const std::string rest = image.substr(entry.offset + section.size(), entry.size - section.size());
        EXPECT_TRUE(entry.includesBoundaryFill ? rest.find_first_not_of('\xFF') == std::string::npos : rest.empty())
            << "round " << round;
      }
    }
    EXPECT_EQ(listed, report.entries.size()) << "round " << round;
  }
  EXPECT_GT(built, 250);
  EXPECT_GT(moved, 3);
}

// Overwrites four bytes with a big-endian value.
std::string Put(std::string image, size_t at, std::uint32_t value) { return image.replace(at, 4, BigEndianBytes(value)); }

TEST(ImageReader, DamagedImagesAreRejectedWithTheFirstProblem) {
  FontSetKit kit;
  kit.AddWorkedExampleFonts();
  ASSERT_TRUE(kit.Build());
  const std::string good = ReadFile(kit.ImagePath());  // sections at 0x810, 0xC5C and 0xEA0
  ASSERT_TRUE(InspectImage(good).consistent);
  ASSERT_TRUE(kit.BuildLegacy());
  const std::string legacy = ReadFile(kit.LegacyImagePath());
  ASSERT_TRUE(InspectImage(legacy).consistent);

  const std::string gap(0x150000 - 0x810, '\0');
  const std::pair<std::string, std::string> cases[] = {
      {good.substr(0, 0xE00), "position 2 part 1 at 0xEA0 lies beyond the end of the file (0xE00)"},
      {good.substr(0, 0x500), "no image tag (KRV1D3 22 11) at 0xF8 or 0x808"},
      {good.substr(0, 0x50), "the file is 80 bytes, shorter than any image header"},
      {"", "the file is 0 bytes, shorter than any image header"},
      {Put(good, 0x1C4, 0x900), "position 2 part 1 at 0x900 comes before position 2 part 0 at 0xC5C"},
      {Put(good, 0x4, 0x100), "position 2 part 0 at 0x100 points into the header"},
      {Put(good, 0x0, 0x820), "position 1 part 0 at 0x820 does not start at the end of the header (0x810)"},
      {Put(good, 0x80C, 0x44332212), "no image tag (KRV1D3 22 11) at 0xF8 or 0x808"},
      {Put(good, 0x804, 113), "table count 113 at 0x804, expected 112"},
      {Put(good, 0x800, 1), "the word at 0x800 is not zero"},
      {Put(good, 0x400, 0), "filler byte at 0x400 is not 0xFF"},
      {FontSetHeader({0x810}, {}) + std::string(0x150010 - 0x810, 'x'),
       "position 1 part 0 at 0x810 (1374208 bytes) crosses the area boundary 0x150000"},
      {FontSetHeader({0x150000}, {}) + gap + "x", "position 1 part 0 at 0x150000 does not start at the end of the header (0x810)"},
      {FontSetHeader({0x810, 0x150000}, {}) + std::string(IMAGE_LIMIT + 1 - 0x810, 'x'),
       "the image is 0x3A0001 bytes, more than the limit 0x3A0000"},
      {FontSetHeader({}, {}), "the image holds no fonts"},
      {Put(legacy, 0xF4, 9), "table count 9 at 0xF4, expected 8"},
      {Put(legacy, 0x0, 0x104), "position 1 part 0 at 0x104 does not start at the end of the header (0x100)"},
      {LegacyFontSetHeader(std::vector<std::uint32_t>(8, 0x100), std::vector<std::uint32_t>(8, 0x100)),
       "the image holds no fonts"},
  };
  for (const auto& [image, problem] : cases) {
    const ImageReport report = InspectImage(image);
    EXPECT_FALSE(report.consistent) << problem;
    EXPECT_EQ(report.problem, problem);
  }
}

TEST(ImageReader, ASectionBeforeAMovedOneRunsToTheBoundary) {
  const std::string image = FontSetHeader({0x810, 0x150000}, {}) + std::string(0x14F000 - 0x810, 'a') +
                            std::string(0x1000, '\xFF') + std::string(0x2000, 'b');
  const ImageReport report = InspectImage(image);
  ASSERT_TRUE(report.consistent) << report.problem;
  ASSERT_EQ(report.entries.size(), 2u);
  EXPECT_TRUE(report.entries[0].includesBoundaryFill);
  EXPECT_EQ(report.entries[0].size, 0x150000u - 0x810);
  EXPECT_FALSE(report.entries[1].includesBoundaryFill);
  EXPECT_EQ(report.entries[1].size, 0x2000u);
  EXPECT_EQ(report.SectionBytes(), image.size() - 0x810);
}

TEST(ImageReader, FilesAreReadBoundedAndMissingOnesReported) {
  TempDir dir;
  EXPECT_EQ(InspectImageFile(dir.File("none")).problem, "cannot open " + dir.File("none") + " (No such file or directory)");
  const std::string big = dir.Write("big", FontSetHeader({0x810}, {}) + std::string(IMAGE_LIMIT, 'x'));
  const ImageReport report = InspectImageFile(big);
  EXPECT_EQ(report.fileSize, IMAGE_LIMIT + 0x810u);
  EXPECT_EQ(report.problem, "the image is 0x3A0810 bytes, more than the limit 0x3A0000");

  Random random(7);
  for (int round = 0; round < 500; ++round) {
    std::string noise(random.Below(0x900), '\0');
    for (char& c : noise) c = static_cast<char>(random.Below(256));
    if (round % 2) noise.replace(0x808 < noise.size() ? 0x808 : 0, 0, "KRV1D3\x22\x11");
    EXPECT_FALSE(InspectImage(noise).consistent);
  }
}

}  // namespace
}  // namespace corvelle::test
