// SPDX-License-Identifier: MIT
// INI reading and atomic writing of the application profile.
#include "base/Profile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstring>
#include <utility>

#include "base/CodePage.h"
#include "base/FileHandle.h"
#include "base/FileSystem.h"
#include "base/FileWrite.h"
#include "base/Outcome.h"
#include "base/Paths.h"

namespace corvelle {
namespace {

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }

std::string_view Trim(std::string_view s) {
  while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
  while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
  return s;
}

bool EqualNoCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    const auto x = static_cast<unsigned char>(a[i]);
    const auto y = static_cast<unsigned char>(b[i]);
    if (x != y && !(x < 128 && y < 128 && std::tolower(x) == std::tolower(y))) return false;
  }
  return true;
}

// A value that would lose blanks or quotes on reading is written inside double quotes.
// Line ends cannot live inside an INI line, so they become blanks.
std::string EncodeValue(std::string_view value) {
  std::string v(value);
  for (auto& c : v) {
    if (c == '\n') c = ' ';
  }
  if (!v.empty() && (IsBlank(v.front()) || IsBlank(v.back()) || v.front() == '"' || v.back() == '"')) {
    return '"' + v + '"';
  }
  return v;
}

std::string DecodeValue(std::string_view raw) {
  std::string_view v = Trim(raw);
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
  return std::string(v);
}

std::string CapsText() {
  return "larger than " + std::to_string(kMaxProfileBytes / (1024 * 1024)) + " MiB or " +
         std::to_string(kMaxProfileLines) + " lines";
}

bool WithinCaps(std::string_view text) {
  if (text.size() > kMaxProfileBytes) return false;
  size_t lines = 0;
  for (const char c : text) lines += c == '\n';
  return lines + (!text.empty() && text.back() != '\n') <= kMaxProfileLines;
}

// The whole file, at most kMaxProfileBytes of it. A missing file is no error and gives no text;
// anything else that stops a complete read is, with the message saying why.
Result<std::string> ReadProfileFile(const std::string& path) {
  FileText read = ReadRegularFile(path, kMaxProfileBytes);
  const auto refused = [&path](const std::string& why) { return Outcome::Failure("cannot read " + path + ": " + why); };
  switch (read.status) {
    case FileText::Status::Read:
      return std::move(read.text);
    case FileText::Status::CannotOpen:
      // Nothing there yet (or a parent is a file, which Save reports): nothing to keep.
      if (read.error == ENOENT || read.error == ENOTDIR) return std::string();
      return refused(std::strerror(read.error));
    case FileText::Status::NotRegular:
      return refused("not a regular file");
    case FileText::Status::TooLarge:
      return refused("the file is " + CapsText());
    case FileText::Status::ReadFailed:
      return refused(std::strerror(read.error));
  }
  return refused("unknown status");
}

}  // namespace

Profile::Profile(std::string path) : m_path(std::move(path)) {
  if (const Result<std::string> text = ReadProfileFile(m_path)) {
    Parse(*text);
  } else {
    m_loadError = text.Failure().message;
  }
}

void Profile::Refuse(std::string reason) {
  m_lines.clear();
  m_loadError = std::move(reason);
}

bool Profile::Parse(std::string_view text) {
  m_lines.clear();
  m_loadError.clear();
  if (!WithinCaps(text)) {
    m_loadError = "cannot read " + (m_path.empty() ? std::string("the profile") : m_path) + ": the text is " + CapsText();
    return false;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view raw = text.substr(start, end - start);
    start = end + 1;
    if (!raw.empty() && raw.back() == '\r') raw.remove_suffix(1);

    Line line;
    line.text = std::string(raw);
    const std::string_view t = Trim(raw);
    if (t.size() >= 2 && t.front() == '[') {
      const size_t close = t.find(']');
      if (close != std::string_view::npos) {
        line.kind = Line::Kind::Section;
        line.name = std::string(Trim(t.substr(1, close - 1)));
      }
    } else if (const size_t eq = t.find('='); eq != std::string_view::npos && eq > 0) {
      line.kind = Line::Kind::Entry;
      line.name = std::string(Trim(t.substr(0, eq)));
      line.value = DecodeValue(t.substr(eq + 1));
      if (line.name.empty()) line.kind = Line::Kind::Other;
    }
    m_lines.push_back(std::move(line));
  }
  return true;
}

std::string Profile::Serialize() const {
  std::string out;
  for (const auto& line : m_lines) {
    out += line.text;
    out += '\n';
  }
  return out;
}

bool Profile::FindSection(std::string_view section, size_t& first, size_t& last) const {
  for (size_t i = 0; i < m_lines.size(); ++i) {
    if (m_lines[i].kind == Line::Kind::Section && EqualNoCase(m_lines[i].name, section)) {
      first = i;
      last = i + 1;
      while (last < m_lines.size() && m_lines[last].kind != Line::Kind::Section) ++last;
      return true;
    }
  }
  return false;
}

const Profile::Line* Profile::FindEntry(std::string_view section, std::string_view key) const {
  size_t first = 0, last = 0;
  if (!FindSection(section, first, last)) return nullptr;
  for (size_t i = first + 1; i < last; ++i) {
    if (m_lines[i].kind == Line::Kind::Entry && EqualNoCase(m_lines[i].name, key)) return &m_lines[i];
  }
  return nullptr;
}

std::string Profile::GetString(std::string_view section, std::string_view key, std::string_view def) const {
  const Line* entry = FindEntry(section, key);
  return entry ? entry->value : std::string(def);
}

std::string Profile::GetPath(std::string_view section, std::string_view key, std::string_view def) const {
#ifdef _WIN32
  return Utf8FromStoredText(GetString(section, key, def));
#else
  return GetString(section, key, def);
#endif
}

int Profile::GetInt(std::string_view section, std::string_view key, int def) const {
  const Line* entry = FindEntry(section, key);
  return entry ? ParseInt(entry->value) : def;
}

bool Profile::HasKey(std::string_view section, std::string_view key) const {
  return FindEntry(section, key) != nullptr;
}

std::vector<std::string> Profile::Sections() const {
  std::vector<std::string> names;
  for (const auto& line : m_lines) {
    if (line.kind == Line::Kind::Section) names.push_back(line.name);
  }
  return names;
}

std::vector<std::pair<std::string, std::string>> Profile::Entries(std::string_view section) const {
  std::vector<std::pair<std::string, std::string>> result;
  size_t first = 0, last = 0;
  if (!FindSection(section, first, last)) return result;
  for (size_t i = first + 1; i < last; ++i) {
    if (m_lines[i].kind == Line::Kind::Entry) result.emplace_back(m_lines[i].name, m_lines[i].value);
  }
  return result;
}

void Profile::WriteString(std::string_view section, std::string_view key, std::string_view value) {
  size_t first = 0, last = 0;
  if (!FindSection(section, first, last)) {
    Line header;
    header.kind = Line::Kind::Section;
    header.name = std::string(section);
    header.text = "[" + header.name + "]";
    m_lines.push_back(std::move(header));
    first = m_lines.size() - 1;
    last = m_lines.size();
  }
  size_t insertAt = first + 1;
  for (size_t i = first + 1; i < last; ++i) {
    Line& line = m_lines[i];
    if (line.kind != Line::Kind::Entry) continue;
    if (EqualNoCase(line.name, key)) {
      line.value = std::string(value);
      line.text = line.name + "=" + EncodeValue(value);
      return;
    }
    insertAt = i + 1;
  }
  Line entry;
  entry.kind = Line::Kind::Entry;
  entry.name = std::string(key);
  entry.value = std::string(value);
  entry.text = entry.name + "=" + EncodeValue(value);
  m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(insertAt), std::move(entry));
}

void Profile::WriteInt(std::string_view section, std::string_view key, int value) {
  WriteString(section, key, std::to_string(value));
}

int Profile::ParseInt(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && IsBlank(text[i])) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  return static_cast<int>(value);
}

Outcome Profile::Save() {
  if (m_path.empty()) return Outcome::Failure("the profile has no file");
  if (!m_loadError.empty()) {
    return Outcome::Failure(m_loadError + " (the settings are not saved, so that the file is not replaced)");
  }
  const std::string text = Serialize();
  if (!WithinCaps(text)) {
    return Outcome::Failure("cannot write " + m_path + ": the settings would make it " + CapsText() +
                            ", too large to read back");
  }
  // Renaming over a file needs only the folder's permission; a profile made read-only is kept
  // read-only all the same.
  if (::access(m_path.c_str(), F_OK) == 0 && ::access(m_path.c_str(), W_OK) != 0) {
    return Outcome::Failure("cannot write " + m_path + ": " + std::strerror(errno));
  }
  // A profile that is a link stays one: the file it points at is replaced.
  const auto target = ResolveFileLink(m_path);
  if (!target) return Outcome::Failure("cannot write " + m_path + ": " + std::strerror(target.Failure().system));
  const std::string folder = ParentFolder(*target);
  if (!folder.empty() && !MakeFolders(folder, 0700)) {
    return Outcome::Failure("cannot create folder " + folder + ": " + std::strerror(errno));
  }
  const Outcome replaced = ReplaceFileWhole(*target, text, kPrivateFileMode);
  if (!replaced) {
    const char* what = replaced.message == kCannotReplace ? "cannot replace " : "cannot write ";
    return Outcome::Failure(what + m_path + ": " + replaced.detail);
  }
  return {};
}

}  // namespace corvelle
