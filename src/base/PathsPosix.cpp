// SPDX-License-Identifier: MIT
// Program, data and profile locations on Linux: the XDG folders, the home folder, and the
// program's own folders made and checked with POSIX calls.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/Paths.h"
#include "base/PathsPlatform.h"

namespace corvelle {
namespace {

std::string XdgFolder(const char* variable, const char* fallbackUnderHome) {
  const char* value = std::getenv(variable);
  if (value && *value == '/') return value;
  const std::string home = HomeFolder();
  // With no home at all the path stays relative to a folder that does not exist, so it is
  // refused or fails to open instead of landing in a shared folder.
  return JoinPath(home.empty() ? "/nonexistent" : home, fallbackUnderHome);
}

// The group is this user's own: named after the user, with no member but the user listed.
bool IsOwnGroup(gid_t gid) {
  std::vector<char> userBuffer(16384), groupBuffer(65536);
  passwd user {};
  passwd* foundUser = nullptr;
  group entry {};
  group* foundGroup = nullptr;
  if (::getpwuid_r(::geteuid(), &user, userBuffer.data(), userBuffer.size(), &foundUser) != 0 || !foundUser ||
      ::getgrgid_r(gid, &entry, groupBuffer.data(), groupBuffer.size(), &foundGroup) != 0 || !foundGroup) {
    return false;
  }
  if (std::strcmp(foundGroup->gr_name, foundUser->pw_name) != 0) return false;
  for (char** member = foundGroup->gr_mem; member && *member; ++member) {
    if (std::strcmp(*member, foundUser->pw_name) != 0) return false;
  }
  return true;
}

}  // namespace

std::string PerUserDataFolder() { return JoinPath(XdgFolder("XDG_DATA_HOME", ".local/share"), "corvelle"); }

std::string PerUserStateFolder() { return JoinPath(XdgFolder("XDG_STATE_HOME", ".local/state"), "corvelle"); }

bool IsFolder(const std::string& folder) {
  struct stat st {};
  return ::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool OthersMayWriteIn(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return false;
  if (st.st_uid != ::geteuid() && st.st_uid != 0) return true;
  if (st.st_mode & S_IWOTH) return true;
  return (st.st_mode & S_IWGRP) && !IsOwnGroup(st.st_gid);
}

bool MayCreateIn(const std::string& folder) { return ::access(folder.c_str(), W_OK) == 0; }

std::string ExecutableFolder() {
  std::vector<char> buffer(4096);
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return ".";
  return ParentFolder(std::string_view(buffer.data(), static_cast<size_t>(n)));
}

std::string HomeFolder() {
  const char* home = std::getenv("HOME");
  if (home && *home) return home;
  std::vector<char> buffer(16384);
  passwd entry {};
  passwd* found = nullptr;
  if (::getpwuid_r(::geteuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found && found->pw_dir &&
      *found->pw_dir == '/') {
    return found->pw_dir;
  }
  return "";
}

std::string OwnFolderProblem(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) {
    return errno == ENOENT ? "" : "cannot use folder " + folder + ": " + std::strerror(errno);
  }
  if (!S_ISDIR(st.st_mode)) return "cannot use folder " + folder + ": not a folder";
  if (st.st_uid != ::geteuid()) return "refusing folder " + folder + ": it belongs to another user";
  if (st.st_mode & (S_IWGRP | S_IWOTH)) return "refusing folder " + folder + ": group or others may write to it";
  return "";
}

std::string PrepareOwnFolder(const std::string& folder) {
  if (!MakeFolders(folder, 0700)) return "cannot create folder " + folder + ": " + std::strerror(errno);
  return OwnFolderProblem(folder);
}

std::string DefaultProfilePath() {
  return JoinPath(JoinPath(XdgFolder("XDG_CONFIG_HOME", ".config"), "corvelle"), "corvelle.ini");
}

bool MakeFolders(const std::string& folder, unsigned mode) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) == 0) {
    if (!S_ISDIR(st.st_mode)) errno = ENOTDIR;
    return S_ISDIR(st.st_mode);
  }
  const std::string parent = ParentFolder(folder);
  if (!parent.empty() && parent != folder && !MakeFolders(parent, mode)) return false;
  return ::mkdir(folder.c_str(), static_cast<mode_t>(mode)) == 0 || errno == EEXIST;
}

void SyncFolder(const std::string& folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace corvelle
