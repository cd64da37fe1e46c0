// SPDX-License-Identifier: MIT
// The file-system calls over POSIX.
#include "base/FileSystem.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>

namespace corvelle {

int OpenForReading(const std::string& path) {
  return ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
}

int OpenExistingForWriting(const std::string& path) { return ::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY); }

PathStatus StatPath(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {true, S_ISREG(st.st_mode), S_ISDIR(st.st_mode), static_cast<unsigned>(st.st_mode & 07777)};
}

bool MayWrite(const std::string& path) { return ::access(path.c_str(), W_OK) == 0; }

std::string RealPath(const std::string& path) {
  char* real = ::realpath(path.c_str(), nullptr);
  if (!real) return "";
  std::string result(real);
  std::free(real);
  return result;
}

}  // namespace corvelle
