// SPDX-License-Identifier: MIT
// A temporary folder that is removed with everything in it when the object goes.
#pragma once

#include <string>
#include <string_view>

namespace corvelle::test {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& Path() const { return m_path; }
  // Path() + "/" + name.
  std::string File(std::string_view name) const;
  // Writes `bytes` to Path()/name (folders created), returns the full path.
  std::string Write(std::string_view name, std::string_view bytes) const;

 private:
  std::string m_path;
};

// The whole content of a file; empty when it cannot be read.
std::string ReadFile(const std::string& path);
// Writes a whole file; false on failure.
bool WriteFile(const std::string& path, std::string_view bytes);
bool FileExists(const std::string& path);

// Points the per-user folders ($XDG_CONFIG_HOME, $XDG_DATA_HOME, $XDG_CACHE_HOME, $XDG_STATE_HOME,
// $XDG_RUNTIME_DIR) of this process and its children at a fresh temporary folder, removed at
// exit, so that no test reads or writes the real user's profile, images and printer locks, and
// parallel tests never share them.
void IsolateUserFolders();

}  // namespace corvelle::test
