// SPDX-License-Identifier: MIT
// Temporary names and the clearing of stale temporary files: the rules every platform shares.
#include "base/TempFiles.h"

#include <array>
#include <cctype>

#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/PathsPlatform.h"

namespace corvelle {
namespace {

constexpr std::string_view kTempMarker = ".tmp-";
constexpr size_t kRandomBytes = 8;

// The files earlier versions wrote through "<name>.<pid>.<n>" temporaries.
constexpr std::array<std::string_view, 4> kEarlierTargets = {"FontSet.SHC", "FontSet.SHF", "fontheadkerv.sh",
                                                             "corvelle.ini"};

bool AllDigits(std::string_view text) {
  if (text.empty() || text.size() > 10) return false;
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

bool AllLowerHex(std::string_view text) {
  for (const char c : text) {
    if (!std::isdigit(static_cast<unsigned char>(c)) && (c < 'a' || c > 'f')) return false;
  }
  return true;
}

std::optional<unsigned long> Number(std::string_view digits) {
  if (!AllDigits(digits)) return std::nullopt;
  return std::stoul(std::string(digits));
}

// "<target>.tmp-<pid>-<16 hex>".
std::optional<unsigned long> CurrentPatternProcess(std::string_view name) {
  const size_t marker = name.rfind(kTempMarker);
  if (marker == std::string_view::npos || marker == 0) return std::nullopt;
  const std::string_view rest = name.substr(marker + kTempMarker.size());
  const size_t dash = rest.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  const std::string_view random = rest.substr(dash + 1);
  if (random.size() != 2 * kRandomBytes || !AllLowerHex(random)) return std::nullopt;
  return Number(rest.substr(0, dash));
}

// "<one of kEarlierTargets>.<pid>.<n>".
std::optional<unsigned long> EarlierPatternProcess(std::string_view name) {
  for (const std::string_view target : kEarlierTargets) {
    if (name.size() <= target.size() + 1 || name.substr(0, target.size()) != target || name[target.size()] != '.') {
      continue;
    }
    const std::string_view rest = name.substr(target.size() + 1);
    const size_t dot = rest.find('.');
    if (dot != std::string_view::npos && AllDigits(rest.substr(dot + 1)) && rest.substr(dot + 1).size() <= 2) {
      return Number(rest.substr(0, dot));
    }
  }
  return std::nullopt;
}

}  // namespace

std::string TemporaryNameBeside(const std::string& target) {
  std::string bytes(kRandomBytes, '\0');
  if (!temp_files::RandomBytes(bytes)) return "";
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string name = target + std::string(kTempMarker) + std::to_string(temp_files::CurrentProcess()) + "-";
  for (const char byte : bytes) {
    name += kDigits[static_cast<unsigned char>(byte) >> 4];
    name += kDigits[static_cast<unsigned char>(byte) & 0xF];
  }
  return name;
}

std::optional<unsigned long> TemporaryNameProcess(std::string_view fileName) {
  if (auto process = CurrentPatternProcess(fileName)) return process;
  return EarlierPatternProcess(fileName);
}

int RemoveStaleTemporaryFiles(const std::vector<std::string>& folders) {
  int removed = 0;
  const unsigned long self = temp_files::CurrentProcess();
  for (const std::string& folder : folders) {
    if (folder.empty()) continue;
    for (const std::string& name : temp_files::OwnFilesIn(folder)) {
      const auto process = TemporaryNameProcess(name);
      if (process && *process != self && temp_files::ProcessGone(*process) &&
          temp_files::RemoveFile(JoinPath(folder, name))) {
        ++removed;
      }
    }
  }
  return removed;
}

int RemoveStaleTemporaryFiles(std::string_view programFolder, const std::string& profilePath) {
  std::vector<std::string> folders = {std::string(programFolder), PerUserDataFolder()};
  // The profile's temporaries lie beside the file its link names, as the save makes them.
  if (const auto profile = ResolveFileLink(profilePath); profile && !profile->empty()) {
    const std::string folder = ParentFolder(*profile);
    folders.push_back(folder.empty() ? "." : folder);
  }
  return RemoveStaleTemporaryFiles(folders);
}

}  // namespace corvelle
