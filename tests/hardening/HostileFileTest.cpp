// Index files and selection settings files that are truncated, huge, garbage, hold 1 MB lines,
// or are no files at all: each read ends with one clear outcome, quickly and in bounded memory.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "catalogue/FontCatalogue.h"
#include "catalogue/SettingsFile.h"
#include "hardening/HardeningKit.h"
#include "support/TempDir.h"

namespace corvelle {
namespace {

using test::TempDir;

constexpr std::uint64_t kHuge = 100ull << 20;
constexpr std::int64_t kMiB = 1 << 20;

std::string Record(const std::string& base, const std::string& face, const std::string& display) {
  std::string record(kIndexRecordSize, '\0');
  record.replace(0, base.size(), base);
  record.replace(kIndexTextSize, face.size(), face);
  record.replace(2 * kIndexTextSize, display.size(), display);
  return record;
}

class HostileIndex : public testing::Test {
 protected:
  std::string IndexPath() const { return dir.File("FontExt/Index1252.shi"); }
  FontCatalogue Load() const { return LoadCatalogue(dir.Path(), 2); }
  TempDir dir;
};

TEST_F(HostileIndex, ATruncatedFileKeepsItsWholeRecordsOnly) {
  const std::string whole = Record("BLKR10WE", "VNS ABA", "Block 10") + Record("GOTR12WE", "VNS FRK", "Gothic 12");
  dir.Write("FontExt/Index1252.shi", whole + Record("SWIR14WE", "VNS SwIns", "Swiss 14").substr(0, 60));
  const FontCatalogue catalogue = Load();
  ASSERT_EQ(catalogue.size(), 2u);
  EXPECT_EQ(FileBaseName(catalogue[1]), "GOTR12WE");
}

TEST_F(HostileIndex, AHugeFileStopsAtTheEntryCapInBoundedMemory) {
  dir.Write("FontExt/.keep", "");
  ASSERT_TRUE(test::MakeSparseFile(IndexPath(), kHuge));
  FontCatalogue catalogue;
  const std::int64_t growth = test::PeakMemoryGrowth([&] { catalogue = Load(); });
  ASSERT_EQ(catalogue.size(), kMaxCatalogueEntries);
  // Zero records read as blank names, the way a real one with empty fields would.
  EXPECT_EQ(catalogue.back().listText, std::string(kIndexTextSize, ' '));
  EXPECT_LT(growth, 64 * kMiB);
}

TEST_F(HostileIndex, GarbageGivesAnEntryPerRecordWithFixedWidths) {
  dir.Write("FontExt/Index1252.shi", test::Garbage(1 << 20, 7));
  const FontCatalogue catalogue = Load();
  ASSERT_EQ(catalogue.size(), (1u << 20) / kIndexRecordSize);
  for (const CatalogueEntry& entry : catalogue) {
    ASSERT_EQ(entry.listText.size(), kIndexTextSize);
    ASSERT_LE(entry.detailText.size(), 2 * kIndexTextSize + 24);
  }
}

TEST_F(HostileIndex, AFolderOrFifoInPlaceOfTheIndexGivesAnEmptyCatalogueWithoutWaiting) {
  dir.Write("FontExt/Index1252.shi/x", "");
  EXPECT_TRUE(Load().empty());
  dir.Write("FontExt/Index1250.shi", Record("BLKR10CE", "VNS ABA", "Block 10 CE"));
  ASSERT_EQ(::mkfifo(dir.File("FontExt/Index1251.shi").c_str(), 0644), 0);
  const int result = test::RunWithin(10, [&] {
    if (LoadCatalogue(dir.Path(), 1).size() != 0) return 1;
    return LoadCatalogue(dir.Path(), 0).size() == 1 ? 0 : 2;
  });
  EXPECT_EQ(result, 0);
}

class HostileSettings : public testing::Test {
 protected:
  // Loads `path` into a selection that starts with a marker in position 112, to show whether it
  // was replaced.
  FileResult Load(const std::string& path) {
    selection = FontSelection{};
    selection.back().displayName = "before";
    return LoadSettingsFile(path, "/opt/corvelle", selection);
  }
  TempDir dir;
  FontSelection selection;
};

TEST_F(HostileSettings, ATruncatedFileFillsThePositionsItReaches) {
  ASSERT_TRUE(Load(dir.Write("cut.kvf", "Block 10\r\nC:\\Kerv\\FontExt\\BLKR10WE.she\r\nGothic 12\r\nC:\\Kerv\\Fo")));
  EXPECT_EQ(selection[0].fontPath, "/opt/corvelle/FontExt/BLKR10WE.she");
  EXPECT_EQ(selection[1].displayName, "Gothic 12");
  EXPECT_EQ(selection[1].fontPath, "/opt/corvelle/FontExt/Fo");
  EXPECT_EQ(selection[2], SelectionSlot{});
  EXPECT_EQ(selection.back(), SelectionSlot{});

  ASSERT_TRUE(Load(dir.Write("name-only.kvf", "Block 10\r\n")));
  EXPECT_EQ(selection[0].displayName, "Block 10");
  EXPECT_EQ(selection[0].fontPath, "***");
}

TEST_F(HostileSettings, AHugeFileWithoutLineEndsIsReadThroughInBoundedMemory) {
  const std::string path = dir.File("zeros.kvf");
  ASSERT_TRUE(test::MakeSparseFile(path, kHuge));
  FileResult result;
  const std::int64_t growth = test::PeakMemoryGrowth([&] { result = Load(path); });
  ASSERT_TRUE(result) << result.error;
  EXPECT_EQ(selection[0].displayName, std::string(kMaxSettingsLine, '\0'));
  EXPECT_EQ(selection[0].fontPath, "***");
  EXPECT_EQ(selection.back(), SelectionSlot{});
  EXPECT_LT(growth, 16 * kMiB);
}

TEST_F(HostileSettings, AHugeFileOfShortLinesIsReadOnlyAsFarAsTheSelectionGoes) {
  const std::string path = dir.File("lines.kvf");
  ASSERT_TRUE(test::MakePatternFile(path, "Swiss 14\r\nC:\\FontExt\\SWIR14GR.she\r\n", kHuge));
  ASSERT_TRUE(Load(path));
  EXPECT_EQ(selection.back().displayName, "Swiss 14");
  EXPECT_EQ(selection.back().fontPath, "/opt/corvelle/FontExt/SWIR14GR.she");
}

TEST_F(HostileSettings, OneMegabyteLinesAreCutToTheLineCap) {
  const std::string name(1 << 20, 'n');
  const std::string path = std::string(1 << 20, 'p') + "\\X.she";
  ASSERT_TRUE(Load(dir.Write("long.kvf", name + "\r\n" + path + "\r\nNext\r\nNEXT.she\r\n")));
  EXPECT_EQ(selection[0].displayName, std::string(kMaxSettingsLine, 'n'));
  // The cut kept no separator, so the path stays as read (cut).
  EXPECT_EQ(selection[0].fontPath, std::string(kMaxSettingsLine, 'p'));
  EXPECT_EQ(selection[1].displayName, "Next");
  EXPECT_EQ(selection[1].fontPath, "NEXT.she");
}

TEST_F(HostileSettings, GarbageLoadsWithinTheCaps) {
  ASSERT_TRUE(Load(dir.Write("garbage.kvf", test::Garbage(1 << 20, 11))));
  for (const SelectionSlot& slot : selection) {
    ASSERT_LE(slot.displayName.size(), kMaxSettingsLine);
    ASSERT_LE(slot.fontPath.size(), std::string("/opt/corvelle/FontExt/").size() + kMaxSettingsLine);
  }
}

TEST_F(HostileSettings, FifosDevicesAndFoldersAreRefusedWithoutWaiting) {
  const std::string fifo = dir.File("pipe.kvf");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0644), 0);
  for (const std::string& path : {fifo, std::string("/dev/zero"), dir.Path()}) {
    // A FIFO without a writer would block the open; /dev/zero would never end.
    const int result = test::RunWithin(10, [&] {
      const FileResult loaded = Load(path);
      if (loaded) return 1;
      if (loaded.error != "cannot open " + path + ": not a regular file") return 2;
      return selection.back().displayName == "before" ? 0 : 3;
    });
    EXPECT_EQ(result, 0) << path;
  }
}

}  // namespace
}  // namespace corvelle
