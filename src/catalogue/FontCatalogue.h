// SPDX-License-Identifier: MIT
// The fonts shipped in FontExt/, read one code page at a time from the binary index files, and
// how a catalogue entry names its font file.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

class Profile;

// One index file record: three 32-byte text fields and six single bytes.
inline constexpr size_t kIndexRecordSize = 102;
inline constexpr size_t kIndexTextSize = 32;
// No real catalogue comes near this; it bounds what a damaged or hostile index file can cost.
inline constexpr size_t kMaxCatalogueEntries = 65536;

// Code-page choices 0..5, in the order of the window's radio buttons.
inline constexpr int kCodePageChoices = 6;
inline constexpr int kDefaultCodePageChoice = 2;  // Win1252
inline constexpr std::string_view kCodePageSection = "Impostazione porta";
inline constexpr std::string_view kCodePageKey = "Codepage";

struct CatalogueEntry {
  // The display name, space-padded or cut to exactly 32 characters: what the lists show.
  std::string listText;
  // File base name and face name (32 characters each, space-padded), then the six record bytes
  // formatted "%4u%4u%i%i%i%i"; 76 characters when the four flags are single digits.
  std::string detailText;

  bool operator==(const CatalogueEntry&) const = default;
};

// The available fonts of one code page, in index file order (never sorted or de-duplicated).
using FontCatalogue = std::vector<CatalogueEntry>;

// The entry of one 102-byte record; a shorter `record` reads as if padded with zero bytes.
CatalogueEntry EntryFromRecord(std::string_view record);

// Entries of an index file's bytes: one per whole record, at most kMaxCatalogueEntries. A short
// final record (fewer than 102 bytes left) is skipped; an empty buffer gives no entries.
FontCatalogue ParseCatalogue(std::string_view bytes);

// "Index1250.shi" ... "IndexStandardSet.shi" for choices 0..5; empty for any other choice.
std::string_view IndexFileName(int codePageChoice);

// The catalogue of a code-page choice, read from FontExt/ under `programFolder`. A choice
// outside 0..5, or an index file that is missing, cannot be read or is no regular file, gives an
// empty catalogue.
FontCatalogue LoadCatalogue(std::string_view programFolder, int codePageChoice);

// The first 32 characters of the entry's detail text without trailing spaces.
std::string FileBaseName(const CatalogueEntry& entry);

// programFolder + "/FontExt/" + FileBaseName + ".she": the name the selection stores for a font.
std::string FontPathOf(std::string_view programFolder, const CatalogueEntry& entry);

// The code-page choice kept in the profile (integer "Codepage" of "Impostazione porta", 2 when
// absent), and storing it back (in memory; the caller saves the profile).
int StoredCodePageChoice(const Profile& profile);
void StoreCodePageChoice(Profile& profile, int codePageChoice);

}  // namespace corvelle
