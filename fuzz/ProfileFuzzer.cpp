// SPDX-License-Identifier: MIT
// The profile: any text parses within its caps, and what is written reads back to the same
// values, both the values of the text itself written back key by key and arbitrary new values.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/Profile.h"
#include "fuzz/FuzzTargets.h"

using namespace corvelle;
using fuzz::Check;

namespace {

constexpr std::string_view kAbsent = "\x01 absent";

// Every key's value (the first of duplicates, as GetString answers) is the same in both.
void CheckSameValues(const Profile& expected, const Profile& actual, const char* property) {
  for (const std::string& section : expected.Sections()) {
    for (const auto& entry : expected.Entries(section)) {
      Check(actual.GetString(section, entry.first, kAbsent) == expected.GetString(section, entry.first, kAbsent),
            property);
    }
  }
}

Profile Reread(const Profile& profile) {
  Profile back;
  Check(back.Parse(profile.Serialize()), "serialized text within the caps");
  return back;
}

}  // namespace

int fuzz::FuzzProfile(const std::uint8_t* data, std::size_t size) {
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  Profile profile;
  if (!profile.Parse(text)) {
    // More than kMaxProfileLines lines take more bytes than that too.
    Check(size > kMaxProfileLines, "refused only over the caps");
    return 0;
  }
  for (const std::string& section : profile.Sections()) {
    for (const auto& entry : profile.Entries(section)) {
      static_cast<void>(profile.GetInt(section, entry.first, 0));
    }
  }
  CheckSameValues(profile, Reread(profile), "text read back as it was");

  Profile rewritten = profile;
  for (const std::string& section : profile.Sections()) {
    for (const auto& entry : profile.Entries(section)) {
      rewritten.WriteString(section, entry.first, profile.GetString(section, entry.first, ""));
    }
  }
  CheckSameValues(profile, Reread(rewritten), "values written back read the same");

  // The input as one new value: line ends cannot live in a value and become blanks.
  std::string value(text);
  for (char& c : value) {
    if (c == '\n') c = ' ';
  }
  rewritten.WriteString("FontsAggiuntivi", "Font001", text);
  rewritten.WriteString("Impostazione porta", "Port", text);
  const Profile back = Reread(rewritten);
  Check(back.GetString("FontsAggiuntivi", "Font001", kAbsent) == value, "new value reads back");
  Check(back.GetString("Impostazione porta", "Port", kAbsent) == value, "new value reads back");
  Check(back.GetInt("Impostazione porta", "Port", 0) == Profile::ParseInt(value), "integer of the value");
  return 0;
}

CORVELLE_FUZZ_ENTRY(FuzzProfile)
