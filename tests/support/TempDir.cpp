// SPDX-License-Identifier: MIT
// Temporary folders and whole-file helpers for tests.
#include "support/TempDir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <stdexcept>

#include "base/Paths.h"
#include "base/Profile.h"

namespace corvelle::test {
namespace {

// The program's paths are UTF-8; on Windows a narrow path would be read in the ANSI code page.
std::filesystem::path FsPath(const std::string& path) {
#ifdef _WIN32
  return std::filesystem::path(std::u8string(path.begin(), path.end()));
#else
  return path;
#endif
}

}  // namespace

#ifdef _WIN32
// Windows has no mkdtemp: a random name is tried until one can be made.
TempDir::TempDir() {
  std::random_device random;
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path path =
        std::filesystem::temp_directory_path() / ("corvelle-test-" + std::to_string(random()));
    std::error_code error;
    if (std::filesystem::create_directory(path, error)) {
      m_path = path.string();
      return;
    }
  }
  throw std::runtime_error("cannot make a temporary folder");
}
#else
TempDir::TempDir() {
  m_path = (std::filesystem::temp_directory_path() / "corvelle-test-XXXXXX").string();
  if (!::mkdtemp(m_path.data())) throw std::runtime_error("mkdtemp failed");
}
#endif

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
  std::ifstream in(FsPath(path), std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

bool WriteFile(const std::string& path, std::string_view bytes) {
  std::ofstream out(FsPath(path), std::ios::binary | std::ios::trunc);
  return static_cast<bool>(out.write(bytes.data(), static_cast<std::streamsize>(bytes.size())).flush());
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(FsPath(path), error);
}

std::size_t EntriesIn(const std::string& folder) {
  return static_cast<std::size_t>(std::distance(std::filesystem::directory_iterator(FsPath(folder)), {}));
}

std::string WriteFont(const std::string& program, std::string_view name, std::string_view header,
                      std::string_view data) {
  const std::string base = FontExtFolder(program) + std::string(name);
  if (!MakeFolders(FontExtFolder(program)) || !WriteFile(base + "0.hea", header) || !WriteFile(base + "0.sh", data)) {
    throw std::runtime_error("cannot write the fragments of " + base);
  }
  return base + ".she";
}

void SelectFont(Profile& profile, const std::string& program, int position, std::size_t headerBytes,
                std::size_t dataBytes) {
  std::string data(dataBytes, '\0');
  for (std::size_t i = 0; i < dataBytes; ++i) data[i] = static_cast<char>((i * 11 + position - 1) % 251);
  const std::string header(headerBytes, static_cast<char>('h' + position - 1));
  profile.WriteString("FontsAggiuntivi", "Font" + std::to_string(1000 + position).substr(1),
                      WriteFont(program, "f" + std::to_string(position), header, data));
}

void IsolateUserFolders() {
  static const TempDir home;  // removed at exit
#ifdef _WIN32
  for (const char* variable : {"APPDATA", "LOCALAPPDATA"}) {
    const std::string folder = home.File(variable);
    MakeFolders(folder);
    ::_putenv_s(variable, folder.c_str());
  }
#else
  for (const char* variable : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR"}) {
    const std::string folder = home.File(variable);
    MakeFolders(folder);
    ::setenv(variable, folder.c_str(), 1);
  }
#endif
}

}  // namespace corvelle::test
