// SPDX-License-Identifier: MIT
// Temporary folders and whole-file helpers for tests.
#include "support/TempDir.h"

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "base/Paths.h"

namespace corvelle::test {

TempDir::TempDir() {
  m_path = (std::filesystem::temp_directory_path() / "corvelle-test-XXXXXX").string();
  if (!::mkdtemp(m_path.data())) throw std::runtime_error("mkdtemp failed");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(m_path, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(m_path, ignored);
}

std::string TempDir::File(std::string_view name) const { return JoinPath(m_path, name); }

std::string TempDir::Write(std::string_view name, std::string_view bytes) const {
  const std::string path = File(name);
  if (!MakeFolders(ParentFolder(path)) || !WriteFile(path, bytes)) throw std::runtime_error("cannot write " + path);
  return path;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush());
}

bool FileExists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

void IsolateUserFolders() {
  static const TempDir home;  // removed at exit
  for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME"}) {
    const std::string folder = home.File(variable);
    MakeFolders(folder);
    ::setenv(variable, folder.c_str(), 1);
  }
}

}  // namespace corvelle::test
