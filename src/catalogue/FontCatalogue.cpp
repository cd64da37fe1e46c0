// SPDX-License-Identifier: MIT
// Index file records turned into catalogue entries, and the index file of each code page.
#include "catalogue/FontCatalogue.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>

#include "base/FileHandle.h"
#include "base/FileSystem.h"
#include "base/Paths.h"
#include "base/Profile.h"

namespace corvelle {
namespace {

constexpr std::array<std::string_view, kCodePageChoices> kIndexFileNames{
    "Index1250.shi", "Index1251.shi", "Index1252.shi", "Index1253.shi", "Index.shi", "IndexStandardSet.shi",
};

// A text field is its bytes up to the first zero (all 32 when none is zero), then padded with
// spaces to 32 characters; leading and embedded spaces stay.
void AppendTextField(std::string& out, std::string_view field) {
  size_t length = 0;
  while (length < kIndexTextSize && field[length] != '\0') ++length;
  out.append(field.data(), length);
  out.append(kIndexTextSize - length, ' ');
}

// Fills `record` from `file`: the record's size when it was read whole, less at the end, -1 on
// error.
long ReadRecord(FileHandle& file, std::array<char, kIndexRecordSize>& record) {
  std::size_t filled = 0;
  while (filled < record.size()) {
    const long n = file.Read(record.data() + filled, record.size() - filled);
    if (n < 0) return -1;
    if (n == 0) break;
    filled += static_cast<std::size_t>(n);
  }
  return static_cast<long>(filled);
}


}  // namespace

CatalogueEntry EntryFromRecord(std::string_view record) {
  std::array<char, kIndexRecordSize> padded{};
  if (record.size() < kIndexRecordSize) {
    std::copy(record.begin(), record.end(), padded.begin());
    record = std::string_view(padded.data(), padded.size());
  }
  CatalogueEntry entry;
  entry.listText.reserve(kIndexTextSize);
  AppendTextField(entry.listText, record.substr(2 * kIndexTextSize, kIndexTextSize));

  entry.detailText.reserve(2 * kIndexTextSize + 24);
  AppendTextField(entry.detailText, record.substr(0, kIndexTextSize));
  AppendTextField(entry.detailText, record.substr(kIndexTextSize, kIndexTextSize));
  const auto byteAt = [&](size_t offset) { return static_cast<unsigned char>(record[offset]); };
  const auto flagAt = [&](size_t offset) { return static_cast<int>(static_cast<signed char>(record[offset])); };
  // Worst case "%4u%4u" with two 3-digit bytes and four "-128": 24 characters.
  char numbers[32];
  const int n = std::snprintf(numbers, sizeof numbers, "%4u%4u%i%i%i%i", byteAt(96), byteAt(97), flagAt(98),
                              flagAt(99), flagAt(100), flagAt(101));
  entry.detailText.append(numbers, static_cast<size_t>(n));
  return entry;
}

FontCatalogue ParseCatalogue(std::string_view bytes) {
  FontCatalogue catalogue;
  const size_t records = std::min(bytes.size() / kIndexRecordSize, kMaxCatalogueEntries);
  catalogue.reserve(records);
  for (size_t i = 0; i < records; ++i) {
    catalogue.push_back(EntryFromRecord(bytes.substr(i * kIndexRecordSize, kIndexRecordSize)));
  }
  return catalogue;
}

std::string_view IndexFileName(int codePageChoice) {
  if (codePageChoice < 0 || codePageChoice >= kCodePageChoices) return {};
  return kIndexFileNames[static_cast<size_t>(codePageChoice)];
}

FontCatalogue LoadCatalogue(std::string_view programFolder, int codePageChoice) {
  const std::string_view name = IndexFileName(codePageChoice);
  if (name.empty()) return {};
  const std::string path = FontExtFolder(programFolder) + std::string(name);
  // Only a regular file: a FIFO would block the open.
  FileHandle file = FileHandle::OpenRegularForReading(path);
  if (!file.IsOpen()) return {};

  // Record by record, so that memory follows the entries kept, not the file's size.
  FontCatalogue catalogue;
  std::array<char, kIndexRecordSize> record;
  while (catalogue.size() < kMaxCatalogueEntries) {
    const long n = ReadRecord(file, record);
    // A file that fails while being read counts as one that cannot be read.
    if (n < 0) return {};
    if (n < static_cast<long>(record.size())) break;
    catalogue.push_back(EntryFromRecord(std::string_view(record.data(), record.size())));
  }
  return catalogue;
}

std::string FileBaseName(const CatalogueEntry& entry) {
  std::string_view base = std::string_view(entry.detailText).substr(0, kIndexTextSize);
  while (!base.empty() && base.back() == ' ') base.remove_suffix(1);
  return std::string(base);
}

std::string FontPathOf(std::string_view programFolder, const CatalogueEntry& entry) {
  return FontExtFolder(programFolder) + FileBaseName(entry) + ".she";
}

int StoredCodePageChoice(const Profile& profile) {
  return profile.GetInt(kCodePageSection, kCodePageKey, kDefaultCodePageChoice);
}

void StoreCodePageChoice(Profile& profile, int codePageChoice) {
  profile.WriteInt(kCodePageSection, kCodePageKey, codePageChoice);
}

}  // namespace corvelle
