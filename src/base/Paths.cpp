// SPDX-License-Identifier: MIT
// Program, data and profile locations: the rules every platform shares.
#include "base/Paths.h"

#include "base/PathsPlatform.h"

namespace corvelle {
namespace {

// Where an installation keeps the data, relative to the prefix that holds bin/.
constexpr std::string_view kInstalledDataFolder = "share/corvelle";

bool HoldsFontExt(const std::string& folder) { return IsFolder(JoinPath(folder, "FontExt")); }

bool IsSeparator(char c) { return kPathSeparators.find(c) != std::string_view::npos; }

// The folder ends in share/corvelle (share\corvelle too on Windows).
bool IsInstalledDataFolder(std::string_view folder) {
  while (folder.size() > 1 && IsSeparator(folder.back())) folder.remove_suffix(1);
  const size_t n = kInstalledDataFolder.size();
  if (folder.size() < n || (folder.size() > n && !IsSeparator(folder[folder.size() - n - 1]))) return false;
  const std::string_view tail = folder.substr(folder.size() - n);
  return tail.substr(0, 5) == "share" && IsSeparator(tail[5]) && tail.substr(6) == "corvelle";
}

// Images go into the program folder only when the user may write there and nobody else may.
bool WritesIntoProgramFolder(const std::string& folder) {
  return !IsInstalledDataFolder(folder) && MayCreateIn(folder) && !OthersMayWriteIn(folder) &&
         !OthersMayWriteIn(JoinPath(folder, "FontExt"));
}

}  // namespace

std::string ProgramFolder() { return ProgramFolderFor(ExecutableFolder()); }

std::string ProgramFolderFor(std::string_view executableFolder) {
  const std::string own(executableFolder);
  if (HoldsFontExt(own)) return own;
  const std::string installed = JoinPath(ParentFolder(own), kInstalledDataFolder);
  if (!ParentFolder(own).empty() && HoldsFontExt(installed)) return installed;
  return own;
}

std::string FontExtFolder(std::string_view programFolder) {
  return JoinPath(programFolder, "FontExt") + kSeparator;
}

std::string WritableDataFolder(std::string_view programFolder) {
  const std::string folder(programFolder);
  if (WritesIntoProgramFolder(folder)) return folder;
  const std::string data = PerUserDataFolder();
  MakeFolders(data, 0700);
  return data;
}

std::string DataFolderProblem(std::string_view programFolder) {
  if (WritesIntoProgramFolder(std::string(programFolder))) return "";
  return PrepareOwnFolder(PerUserDataFolder());
}

std::string InFontExt(std::string_view storedPath, std::string_view programFolder) {
  return FontExtFolder(programFolder) + FileNamePart(storedPath);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
  std::string result(folder);
  if (!result.empty() && !IsSeparator(result.back())) result += kSeparator;
  result += name;
  return result;
}

std::string ParentFolder(std::string_view path) {
  const size_t slash = path.find_last_of(kPathSeparators);
  if (slash == std::string_view::npos) return "";
  if (slash == 0) return "/";
  return std::string(path.substr(0, slash));
}

std::string FileNamePart(std::string_view path) {
  const size_t sep = path.find_last_of("/\\");
  return std::string(sep == std::string_view::npos ? path : path.substr(sep + 1));
}

}  // namespace corvelle
