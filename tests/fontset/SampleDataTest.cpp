// The FontExt folder and fonts that the build places beside the executables.
#include <gtest/gtest.h>

#include <set>

#include "FontSetKit.h"
#include "base/Paths.h"
#include "fontset/FontSetFormat.h"
#include "fontset/ImageReader.h"
#include "resources/Strings.h"

namespace corvelle::test {
namespace {

const std::string kFontExt = FontExtFolder(CORVELLE_BIN_DIR);

std::string Field(const std::string& record, size_t at) {
  const std::string field = record.substr(at, 32);
  return field.substr(0, field.find('\0'));
}

// The records of an index file, checked to be whole.
std::vector<std::string> Records(const std::string& name) {
  const std::string bytes = ReadFile(kFontExt + name);
  EXPECT_FALSE(bytes.empty()) << name;
  EXPECT_EQ(bytes.size() % 102, 0u) << name;
  std::vector<std::string> records;
  for (size_t at = 0; at + 102 <= bytes.size(); at += 102) records.push_back(bytes.substr(at, 102));
  return records;
}

TEST(SampleData, EveryListedFontHasItsPartZeroFragmentsAndAnInstalledFace) {
  const std::set<std::string> faces{"VNS ABA", "VNS FRK", "VNS SwIns", "VNS IMP", "VNS TAH", "VNS UC", "VNS CONS"};
  for (const std::string& face : faces) EXPECT_TRUE(FileExists(std::string(CORVELLE_BIN_DIR "/fonts/") + face + ".TTF"));
  std::string pages;
  for (const char* name : {"Index1250.shi", "Index1251.shi", "Index1252.shi", "Index1253.shi"}) {
    const auto records = Records(name);
    EXPECT_GE(records.size(), 20u);
    EXPECT_LE(records.size(), 40u);
    pages += ReadFile(kFontExt + name);
  }
  EXPECT_EQ(ReadFile(kFontExt + "Index.shi"), pages);
  std::set<std::string> bases;
  for (const std::string& record : Records("Index.shi")) {
    const std::string base = Field(record, 0);
    EXPECT_TRUE(bases.insert(base).second) << base;
    EXPECT_EQ(faces.count(Field(record, 32)), 1u) << base;
    EXPECT_FALSE(Field(record, 64).empty()) << base;
    EXPECT_TRUE(FileExists(kFontExt + base + "0.hea") && FileExists(kFontExt + base + "0.sh")) << base;
  }
  for (const std::string& record : Records("IndexStandardSet.shi")) EXPECT_EQ(bases.count(Field(record, 0)), 1u);
}

// Stores the fonts of an index file at positions 1.. and builds FontSet.SHC from them.
ImageReport BuildFromIndex(const std::string& name, bool expectBuilt, FontSetKit& kit) {
  int position = 0;
  for (const std::string& record : Records(name)) kit.Store(++position, kFontExt + Field(record, 0) + ".she");
  EXPECT_EQ(kit.Build(), expectBuilt);
  return InspectImageFile(kit.ImagePath());
}

TEST(SampleData, AllCodepagesSelectedExceedTheImageLimit) {
  FontSetKit kit;
  const ImageReport report = BuildFromIndex("Index.shi", false, kit);
  EXPECT_EQ(kit.OnlyMessage(), LoadStr(IDS_TOO_MUCH_MEMORY));
  EXPECT_GT(report.fileSize, IMAGE_LIMIT);
  size_t partZero = 0;
  for (const ImageEntry& entry : report.entries) partZero += entry.part == 0;
  EXPECT_EQ(partZero, 112u);
  EXPECT_GT(report.entries.size(), partZero);  // the large fonts have a part 1
}

TEST(SampleData, OneCodePageCrossesTheAreaBoundaryAndReadsBackConsistent) {
  FontSetKit kit;
  const ImageReport report = BuildFromIndex("Index1252.shi", true, kit);
  EXPECT_TRUE(report.consistent) << report.problem;
  EXPECT_GT(report.fileSize, AREA_BOUNDARY);
}

}  // namespace
}  // namespace corvelle::test
