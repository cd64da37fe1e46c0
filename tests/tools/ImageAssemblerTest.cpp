// Putting areas together into images and judging them: when an image is complete, what makes
// one inconsistent, and that memory stays bounded.
#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "fontset/FontSetFormat.h"
#include "printer-sim/ImageAssembler.h"
#include "tools/TestImages.h"

namespace corvelle::printersim {
namespace {

using test::MakeFontSetImage;
using test::MakeLegacyImage;
using test::MakeTwoAreaImage;

// Feeds the assembler the events one area produces; the images it hands out.
std::vector<JudgedImage> SendArea(ImageAssembler& assembler, int area, std::string_view bytes,
                                  std::optional<std::uint32_t> announced = std::nullopt) {
  std::vector<JudgedImage> images;
  const auto handle = [&](const StreamEvent& event) {
    if (auto image = assembler.Handle(event)) images.push_back(std::move(*image));
  };
  StreamEvent event;
  event.area = area;
  event.length = announced.value_or(static_cast<std::uint32_t>(bytes.size()));
  event.kind = StreamEventKind::Announcement;
  handle(event);
  // In pieces, as reads deliver it.
  for (std::size_t at = 0; at < bytes.size(); at += 65536) {
    event.kind = StreamEventKind::AreaData;
    event.bytes = bytes.substr(at, 65536);
    handle(event);
  }
  event.kind = StreamEventKind::AreaEnded;
  event.bytes = {};
  event.received = static_cast<std::uint32_t>(bytes.size());
  handle(event);
  return images;
}

TEST(ImageAssembler, AOneAreaLegacyImageIsJudgedAtOnce) {
  ImageAssembler assembler;
  const std::string image = MakeLegacyImage({100, 2000});
  const auto images = SendArea(assembler, 1, image);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(images[0].consistent) << images[0].problem;
  EXPECT_EQ(images[0].format, "FontSet.SHF");
  EXPECT_EQ(images[0].bytes, image);
  EXPECT_EQ(images[0].number, 1);
  EXPECT_EQ(images[0].areas.size(), 1u);
}

TEST(ImageAssembler, AHeaderPlacingSectionsBeyondTheBoundaryWaitsForArea2) {
  ImageAssembler assembler;
  const std::string image = MakeTwoAreaImage(0x180000);
  const std::string_view bytes(image);
  EXPECT_TRUE(SendArea(assembler, 1, bytes.substr(0, AREA_BOUNDARY)).empty());
  EXPECT_TRUE(assembler.AwaitingArea2());
  const auto images = SendArea(assembler, 2, bytes.substr(AREA_BOUNDARY));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(images[0].consistent) << images[0].problem;
  EXPECT_EQ(images[0].format, "FontSet.SHC");
  EXPECT_EQ(images[0].bytes, image);
  EXPECT_EQ(images[0].received, 0x180000u);
  ASSERT_EQ(images[0].areas.size(), 2u);
  EXPECT_EQ(images[0].areas[1].received, 0x30000u);
}

TEST(ImageAssembler, AnImageThatEndsAtTheBoundaryIsCompleteInArea1) {
  ImageAssembler assembler;
  const auto images = SendArea(assembler, 1, MakeFontSetImage({AREA_BOUNDARY - 0x810}));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_TRUE(images[0].consistent) << images[0].problem;
  EXPECT_FALSE(assembler.AwaitingArea2());
}

TEST(ImageAssembler, AnUnreadableHeaderIsJudgedAtOnce) {
  ImageAssembler assembler;
  const auto images = SendArea(assembler, 1, std::string(AREA_BOUNDARY, 'z'));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_FALSE(images[0].consistent);
  EXPECT_EQ(images[0].format, "unknown");
  EXPECT_EQ(images[0].problem, "no image tag (KRV1D3 22 11) at 0xF8 or 0x808");
}

TEST(ImageAssembler, AnAreaCutShortMakesTheImageInconsistent) {
  ImageAssembler assembler;
  const std::string image = MakeLegacyImage({5000});
  auto images = SendArea(assembler, 1, std::string_view(image).substr(0, 3000), image.size());
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].problem, "area 1 ended after 3000 of 5256 bytes");

  const std::string twoAreas = MakeTwoAreaImage(0x160000);
  SendArea(assembler, 1, std::string_view(twoAreas).substr(0, AREA_BOUNDARY));
  images = SendArea(assembler, 2, std::string_view(twoAreas).substr(AREA_BOUNDARY, 10), 0x10000);
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].problem, "area 2 ended after 10 of 65536 bytes");
  EXPECT_EQ(images[0].number, 2);
}

TEST(ImageAssembler, AreasOutOfTurnAreReported) {
  ImageAssembler assembler;
  auto images = SendArea(assembler, 2, "lonely");
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].problem, "area 2 came without an area 1 before it");

  const std::string image = MakeTwoAreaImage(0x170000);
  SendArea(assembler, 1, std::string_view(image).substr(0, AREA_BOUNDARY));
  images = SendArea(assembler, 1, MakeLegacyImage({10}));
  ASSERT_EQ(images.size(), 2u);
  EXPECT_EQ(images[0].problem, "area 2 never came: another area 1 was announced");
  EXPECT_EQ(images[0].received, AREA_BOUNDARY);
  EXPECT_TRUE(images[1].consistent) << images[1].problem;

  SendArea(assembler, 1, std::string_view(image).substr(0, AREA_BOUNDARY));
  const auto last = assembler.Finish();
  ASSERT_TRUE(last.has_value());
  EXPECT_EQ(last->problem, "area 2 never came: the run ended");
  EXPECT_FALSE(assembler.Finish().has_value());
}

TEST(ImageAssembler, AFirstAreaLongerThanTheBoundaryIsReported) {
  // A sound FontSet.SHC image, but its first area is longer than the printer's first memory area.
  ImageAssembler assembler;
  const auto images = SendArea(assembler, 1, MakeTwoAreaImage(0x160000));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].problem, "area 1 is 0x160000 bytes, more than the printer's first memory area (0x150000)");
}

TEST(ImageAssembler, BytesBeyondTheLargestImageAreCountedNotKept) {
  ImageAssembler assembler;
  const std::string image = MakeTwoAreaImage(0x200000);
  SendArea(assembler, 1, std::string_view(image).substr(0, AREA_BOUNDARY));
  const auto images = SendArea(assembler, 2, std::string(IMAGE_LIMIT, 'a'));
  ASSERT_EQ(images.size(), 1u);
  EXPECT_EQ(images[0].received, AREA_BOUNDARY + IMAGE_LIMIT);
  EXPECT_EQ(images[0].bytes.size(), IMAGE_LIMIT);
  EXPECT_EQ(images[0].problem, "5177344 bytes arrived, more than the largest image (0x3A0000)");
}

}  // namespace
}  // namespace corvelle::printersim
