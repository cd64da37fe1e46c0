// SPDX-License-Identifier: MIT
// The first pass of an image build: which fragment files each selected font has, how long they
// are, and where every section lands (the two offset tables, the one move to the area boundary,
// the image's length). Nothing is written here.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "fontset/FontSetFormat.h"

namespace corvelle {

class Profile;

// The fragment files of one part of one position, as found when the plan was made.
struct PartFiles {
  bool present = false;   // the header fragment opened
  std::string headerPath;
  std::string dataPath;
  std::uint64_t headerSize = 0;
  bool hasData = false;   // the data fragment opened too
  std::uint64_t dataSize = 0;

  std::uint64_t Size() const { return headerSize + dataSize; }
};

// A present part in image order, where it goes and how much 0xFF fill precedes it.
struct PlannedSection {
  int position = 0;  // 1-based
  int part = 0;      // 0 or 1
  std::uint64_t offset = 0;
  std::uint64_t fillBefore = 0;
};

struct ImagePlan {
  const ImageFormatSpec* format = nullptr;
  // parts[p][k]: part p of position k + 1.
  std::vector<PartFiles> parts[2];
  std::vector<std::uint32_t> tables[2];
  int presentPartZero = 0;                 // positions whose part 0 is present
  std::vector<PlannedSection> sections;    // image order
  std::uint64_t imageSize = 0;             // header, sections and fill

  const PartFiles& Files(const PlannedSection& section) const {
    return parts[section.part][static_cast<size_t>(section.position - 1)];
  }
  // The whole header: both tables, the filler and the trailer.
  std::string HeaderBytes() const;
};

// The stored value reduced to the base of its fragment names: everything before its last '.'.
// nullopt for a free position (an empty value, or one without a '.').
std::optional<std::string> FragmentBase(std::string_view fontPath);

// Values "Font001".."Font<slots>" of section "FontsAggiuntivi", each naming its file in the
// FontExt folder of `programFolder` (InFontExt): a stored path never leads out of FontExt. A
// missing or empty key reads as "" (a free position).
std::vector<std::string> ReadStoredSelection(const Profile& profile, int slots, std::string_view programFolder);

// Finds and sizes the fragment files of `fontPaths` (one value per position; missing trailing
// positions are free) and lays out the image in `format`.
ImagePlan PlanImage(const ImageFormatSpec& format, const std::vector<std::string>& fontPaths);

}  // namespace corvelle
