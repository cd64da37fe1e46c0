// SPDX-License-Identifier: MIT
// Index files: any bytes give one entry per whole 102-byte record, every entry has the fixed
// text widths the lists rely on, and a short record reads as if padded with zero bytes.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "catalogue/FontCatalogue.h"
#include "fuzz/FuzzTargets.h"

using namespace corvelle;
using fuzz::Check;

int fuzz::FuzzIndex(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const FontCatalogue catalogue = ParseCatalogue(bytes);
  Check(catalogue.size() == std::min(size / kIndexRecordSize, kMaxCatalogueEntries), "one entry per whole record");
  for (const CatalogueEntry& entry : catalogue) {
    Check(entry.listText.size() == kIndexTextSize, "list text is 32 characters");
    // Two 32-character fields, then "%4u%4u" and four flags of 1 to 4 characters each.
    Check(entry.detailText.size() >= 2 * kIndexTextSize + 12 && entry.detailText.size() <= 2 * kIndexTextSize + 24,
          "detail text width");
    Check(FileBaseName(entry).size() <= kIndexTextSize, "file base name within its field");
  }

  const std::string_view shortRecord = bytes.substr(0, std::min(size, kIndexRecordSize - 1));
  std::string padded(shortRecord);
  padded.resize(kIndexRecordSize, '\0');
  Check(EntryFromRecord(shortRecord) == EntryFromRecord(padded), "short record reads zero-padded");
  return 0;
}

CORVELLE_FUZZ_ENTRY(FuzzIndex)
