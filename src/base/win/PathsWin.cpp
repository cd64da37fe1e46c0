// SPDX-License-Identifier: MIT
// Program, data and profile locations on Windows: the profile in %APPDATA%\Corvelle, images and
// history in %LOCALAPPDATA%\Corvelle, the program's folder from its module file name.
#include <windows.h>

#include <cerrno>
#include <cstring>

#include "base/Paths.h"
#include "base/PathsPlatform.h"
#include "base/win/WinText.h"

namespace corvelle {
namespace {

// A per-user folder named by the environment; with none the path lies under a folder that does
// not exist, so it is refused or fails to open instead of landing in a shared folder.
std::string UserFolder(const wchar_t* variable, const char* fallbackUnderHome) {
  const std::string value = win::EnvironmentFolder(variable);
  if (!value.empty()) return value;
  const std::string home = HomeFolder();
  return JoinPath(home.empty() ? "C:\\nonexistent" : home, fallbackUnderHome);
}

}  // namespace

std::string PerUserDataFolder() { return JoinPath(UserFolder(L"LOCALAPPDATA", "AppData\\Local"), "Corvelle"); }

// The history sits beside the images.
std::string PerUserStateFolder() { return PerUserDataFolder(); }

bool IsFolder(const std::string& folder) {
  const DWORD attributes = ::GetFileAttributesW(win::Widen(folder).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Folder access on Windows is granted by ACLs, not by mode bits that say "everyone": the
// world-writable rule has no counterpart there.
bool OthersMayWriteIn(const std::string&) { return false; }

// Windows grants folder access through ACLs that no attribute shows, so the question is put to
// the file system: a probe file that removes itself when closed.
bool MayCreateIn(const std::string& folder) {
  const std::string probe = JoinPath(folder, ".corvelle-probe." + std::to_string(::GetCurrentProcessId()));
  const HANDLE handle = ::CreateFileW(win::Widen(probe).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                      FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return false;
  ::CloseHandle(handle);
  return true;
}

std::string ExecutableFolder() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const DWORD n = ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return ".";
    if (n < buffer.size()) {
      buffer.resize(n);
      return ParentFolder(win::Narrow(buffer));
    }
    buffer.resize(buffer.size() * 2);
  }
}

std::string HomeFolder() {
  if (std::string profile = win::EnvironmentFolder(L"USERPROFILE"); !profile.empty()) return profile;
  const std::string drive = win::EnvironmentFolder(L"HOMEDRIVE");
  const std::string path = win::EnvironmentFolder(L"HOMEPATH");
  return drive.empty() || path.empty() ? "" : drive + path;
}

// The per-user folders are the user's own through their inherited ACLs; what is left to refuse
// is a file standing where a folder should be.
std::string OwnFolderProblem(const std::string& folder) {
  const DWORD attributes = ::GetFileAttributesW(win::Widen(folder).c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const int error = win::SetErrnoFromLastError();
    return error == ENOENT ? "" : "cannot use folder " + folder + ": " + std::strerror(error);
  }
  if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) return "cannot use folder " + folder + ": not a folder";
  return "";
}

std::string PrepareOwnFolder(const std::string& folder) {
  if (!MakeFolders(folder, 0700)) return "cannot create folder " + folder + ": " + std::strerror(errno);
  return OwnFolderProblem(folder);
}

std::string DefaultProfilePath() {
  return JoinPath(JoinPath(UserFolder(L"APPDATA", "AppData\\Roaming"), "Corvelle"), "corvelle.ini");
}

bool MakeFolders(const std::string& folder, unsigned) {
  const DWORD attributes = ::GetFileAttributesW(win::Widen(folder).c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES) {
    if (!(attributes & FILE_ATTRIBUTE_DIRECTORY)) errno = ENOTDIR;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
  }
  const std::string parent = ParentFolder(folder);
  if (!parent.empty() && parent != folder && !MakeFolders(parent, 0)) return false;
  if (::CreateDirectoryW(win::Widen(folder).c_str(), nullptr)) return true;
  return win::SetErrnoFromLastError() == EEXIST && IsFolder(folder);
}

// MoveFileExW's MOVEFILE_WRITE_THROUGH already waits for the rename to reach the disk.
void SyncFolder(const std::string&) {}

}  // namespace corvelle
