// SPDX-License-Identifier: MIT
// A temporary folder that is removed with everything in it when the object goes.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvelle {
class Profile;
}

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
// How many entries the folder holds.
std::size_t EntriesIn(const std::string& folder);

// Writes the part-0 fragments of font `name` (`header` and `data`) into the FontExt folder of the
// program folder `program`, as an installation ships them, and returns the font's .she path as a
// profile stores it.
std::string WriteFont(const std::string& program, std::string_view name, std::string_view header,
                      std::string_view data);

// WriteFont for font "f<position>", a header of `headerBytes` and `dataBytes` of data whose bytes
// differ with the position (so that a misplaced font shows), selected at `position` (1-based) in
// `profile`, which is not saved.
void SelectFont(Profile& profile, const std::string& program, int position, std::size_t headerBytes,
                std::size_t dataBytes);

// Points the per-user folders ($XDG_CONFIG_HOME, $XDG_DATA_HOME, $XDG_CACHE_HOME, $XDG_STATE_HOME,
// $XDG_RUNTIME_DIR) of this process and its children at a fresh temporary folder, removed at
// exit, so that no test reads or writes the real user's profile, images and printer locks, and
// parallel tests never share them.
void IsolateUserFolders();

}  // namespace corvelle::test
