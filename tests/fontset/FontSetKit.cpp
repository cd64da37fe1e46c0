// Fixture for the image tests.
#include "FontSetKit.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

#include "base/Paths.h"

namespace corvelle::test {

std::string FragmentBytes(const std::string& fileName, std::size_t size) {
  std::uint32_t state = 2166136261u;
  for (unsigned char c : fileName) state = (state ^ c) * 16777619u;
  std::string bytes(size, '\0');
  for (char& b : bytes) {
    state = state * 1664525u + 1013904223u;
    b = static_cast<char>(state >> 24);
  }
  return bytes;
}

std::uint32_t BigEndian(const std::string& bytes, std::size_t at) {
  std::uint32_t value = 0;
  for (std::size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(bytes.at(at + i));
  return value;
}

std::string BigEndianBytes(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

std::string FontSetHeader(const std::vector<std::uint32_t>& part0, const std::vector<std::uint32_t>& part1) {
  std::string header;
  for (const auto* table : {&part0, &part1}) {
    for (size_t k = 0; k < 112; ++k) header += BigEndianBytes(k < table->size() ? (*table)[k] : 0xFFFFFFFF);
  }
  return header + std::string(1152, '\xFF') + std::string("\0\0\0\0\0\0\0\x70KRV1D3\x22\x11", 16);
}

std::string LegacyFontSetHeader(const std::vector<std::uint32_t>& part0, const std::vector<std::uint32_t>& part1) {
  std::string header;
  for (std::uint32_t entry : part0) header += BigEndianBytes(entry);
  for (std::uint32_t entry : part1) header += BigEndianBytes(entry);
  return header + std::string(180, '\xFF') + std::string("\0\0\0\x08KRV1D3\x22\x11", 12);
}

FontSetKit::FontSetKit() { MakeFolders(ProgramFolder()); }

std::string FontSetKit::FragmentPath(const std::string& name, const std::string& suffix) const {
  return dir.File("FontExt/" + name + suffix);
}

void FontSetKit::AddFont(int position, const std::string& name, FontSizes sizes) {
  const std::pair<const char*, long> files[] = {
      {"0.hea", sizes.header0}, {"0.sh", sizes.data0}, {"1.hea", sizes.header1}, {"1.sh", sizes.data1}};
  for (const auto& [suffix, size] : files) {
    if (size != kNone) dir.Write("FontExt/" + name + suffix, FragmentBytes(name + suffix, static_cast<size_t>(size)));
  }
  Store(position, FragmentPath(name, ".she"));
}

void FontSetKit::AddWorkedExampleFonts() {
  AddFont(1, "a", {100, 1000, kNone, kNone});
  AddFont(2, "b", {80, 500, 60, 300});
}

void FontSetKit::Store(int position, const std::string& value) {
  char key[16];
  std::snprintf(key, sizeof key, "Font%03i", position);
  profile.WriteString("FontsAggiuntivi", key, value);
}

std::string FontSetKit::Section(const std::string& name, int part) const {
  const std::string digit = std::to_string(part);
  return ReadFile(FragmentPath(name, digit + ".hea")) + ReadFile(FragmentPath(name, digit + ".sh"));
}

bool FontSetKit::Build(const std::string& output) {
  return BuildFontSet({host, profile, ProgramFolder()}, output, &builtPath);
}

bool FontSetKit::BuildLegacy(const std::string& output) {
  return BuildLegacyFontSet({host, profile, ProgramFolder()}, output, &builtPath);
}

std::string FontSetKit::OnlyMessage() const { return host.messages.size() == 1 ? host.messages[0].text : ""; }

int RunInChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  int status = 0;
  if (pid < 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace corvelle::test
