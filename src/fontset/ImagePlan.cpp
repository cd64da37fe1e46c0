// SPDX-License-Identifier: MIT
// Sizing and layout of a font set image.
#include "fontset/ImagePlan.h"

#include <cstdio>

#include "base/Paths.h"
#include "base/Profile.h"
#include "base/FileHandle.h"

namespace corvelle {
namespace {

void PutBigEndian(std::string& out, std::uint32_t value) {
  out += static_cast<char>(value >> 24);
  out += static_cast<char>(value >> 16);
  out += static_cast<char>(value >> 8);
  out += static_cast<char>(value);
}

// Length of a fragment that opens; nullopt when it does not.
std::optional<std::uint64_t> FragmentLength(const std::string& path) {
  const FileHandle file = FileHandle::OpenRegularForReading(path);
  if (!file.IsOpen()) return std::nullopt;
  return file.LengthAtOpen();
}

PartFiles FindPart(const std::string& base, int part) {
  PartFiles files;
  const std::string digit(1, static_cast<char>('0' + part));
  files.headerPath = base + digit + ".hea";
  files.dataPath = base + digit + ".sh";
  const auto headerSize = FragmentLength(files.headerPath);
  if (!headerSize) return files;
  files.present = true;
  files.headerSize = *headerSize;
  if (const auto dataSize = FragmentLength(files.dataPath)) {
    files.hasData = true;
    files.dataSize = *dataSize;
  }
  return files;
}

}  // namespace

std::optional<std::string> FragmentBase(std::string_view fontPath) {
  const size_t dot = fontPath.rfind('.');
  if (dot == std::string_view::npos) return std::nullopt;
  return std::string(fontPath.substr(0, dot));
}

std::vector<std::string> ReadStoredSelection(const Profile& profile, int slots, std::string_view programFolder) {
  std::vector<std::string> values;
  for (int i = 1; i <= slots; ++i) {
    char key[16];
    std::snprintf(key, sizeof key, "Font%03i", i);
    const std::string stored = profile.GetPath("FontsAggiuntivi", key, "");
    values.push_back(stored.empty() ? stored : InFontExt(stored, programFolder));
  }
  return values;
}

ImagePlan PlanImage(const ImageFormatSpec& format, const std::vector<std::string>& fontPaths) {
  ImagePlan plan;
  plan.format = &format;
  const size_t slots = static_cast<size_t>(format.positionCount);
  for (int part = 0; part < 2; ++part) {
    plan.parts[part].resize(slots);
    for (size_t k = 0; k < slots && k < fontPaths.size(); ++k) {
      if (const auto base = FragmentBase(fontPaths[k])) plan.parts[part][k] = FindPart(*base, part);
    }
  }

  // Sections follow one another from the end of the header. In FontSet.SHC the first section
  // that would end beyond AREA_BOUNDARY starts at the boundary instead, after 0xFF fill; one
  // ending exactly there stays. Positions are 64-bit so that no length can wrap them.
  std::uint64_t pos = format.headerSize;
  bool moved = false;
  for (int part = 0; part < 2; ++part) {
    plan.tables[part].reserve(slots);
    for (size_t k = 0; k < slots; ++k) {
      const PartFiles& files = plan.parts[part][k];
      if (!files.present) {
        plan.tables[part].push_back(format.absentIsMarked ? kAbsentPart : static_cast<std::uint32_t>(pos));
        continue;
      }
      if (part == 0) ++plan.presentPartZero;
      std::uint64_t fill = 0;
      if (format.movesAcrossBoundary && !moved && pos + files.Size() > AREA_BOUNDARY) {
        moved = true;
        fill = AREA_BOUNDARY - pos;
        pos = AREA_BOUNDARY;
      }
      plan.tables[part].push_back(static_cast<std::uint32_t>(pos));
      plan.sections.push_back({static_cast<int>(k) + 1, part, pos, fill});
      pos += files.Size();
    }
  }
  plan.imageSize = pos;
  return plan;
}

std::string ImagePlan::HeaderBytes() const {
  std::string header;
  header.reserve(format->headerSize);
  for (const auto& table : tables) {
    for (std::uint32_t entry : table) PutBigEndian(header, entry);
  }
  header.append(format->trailerAt - header.size(), '\xFF');
  if (format->zeroWordInTrailer) PutBigEndian(header, 0);
  PutBigEndian(header, static_cast<std::uint32_t>(format->positionCount));
  header += kImageTag;
  return header;
}

}  // namespace corvelle
