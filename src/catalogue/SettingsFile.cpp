// SPDX-License-Identifier: MIT
// Writing and reading selection settings files.
#include "catalogue/SettingsFile.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "base/FileHandle.h"
#include "base/FileSystem.h"
#include "base/FileWrite.h"
#include "base/Paths.h"

namespace corvelle {
namespace {

// Splits bytes fed in chunks into lines, keeping at most kMaxSettingsLine bytes of each.
class LineSplitter {
 public:
  explicit LineSplitter(size_t maxLines) : m_maxLines(maxLines) {}

  // False once `maxLines` lines are complete and nothing more is needed.
  bool Feed(std::string_view chunk) {
    while (!chunk.empty() && !Full()) {
      const size_t lf = chunk.find('\n');
      Take(chunk.substr(0, lf));
      if (lf == std::string_view::npos) break;
      EndLine();
      chunk.remove_prefix(lf + 1);
    }
    return !Full();
  }

  // End of input: a last line without its line end counts when it has any byte.
  std::vector<std::string> Finish() {
    if (!Full() && m_length > 0) m_lines.push_back(std::move(m_current));
    return std::move(m_lines);
  }

 private:
  bool Full() const { return m_lines.size() >= m_maxLines; }

  void Take(std::string_view bytes) {
    if (m_current.size() < kMaxSettingsLine) {
      m_current.append(bytes.substr(0, kMaxSettingsLine - m_current.size()));
    }
    m_length += bytes.size();
  }

  void EndLine() {
    // A CR that was cut off with the rest of a long line is gone already.
    if (m_length == m_current.size() && !m_current.empty() && m_current.back() == '\r') m_current.pop_back();
    m_lines.push_back(std::move(m_current));
    m_current.clear();
    m_length = 0;
  }

  size_t m_maxLines;
  std::vector<std::string> m_lines;
  std::string m_current;
  size_t m_length = 0;  // bytes of the current line so far, including those not kept
};

Outcome Failure(const std::string& what, const std::string& path, int error) {
  return Outcome::Failure(what + " " + path + ": " + std::strerror(error));
}

}  // namespace

std::string SerializeSettings(const FontSelection& selection) {
  std::string text;
  for (const SelectionSlot& slot : selection) {
    // A line end inside a name would shift every later line.
    std::string name = slot.displayName;
    for (char& c : name) {
      if (c == '\r' || c == '\n') c = ' ';
    }
    text += name;
    text += "\r\n";
    text += slot.fontPath;
    text += "\r\n";
  }
  return text;
}

Outcome SaveSettingsFile(const FontSelection& selection, const std::string& path) {
  const std::string text = SerializeSettings(selection);
  // A link the user made keeps pointing at the replaced file; one that another user put into a
  // folder others may write to is not followed (ResolveFileLink refuses it).
  const auto resolved = ResolveFileLink(path);
  if (!resolved) return Failure("cannot create", path, resolved.Failure().system);
  std::string target = *resolved;
  const PathStatus st = StatPath(target);
  // Only a regular file is replaced: a FIFO would hold the save until someone read it, and a
  // device is no settings file.
  if (st.exists && !st.regular) return Outcome::Failure("cannot create " + path + ": not a regular file");
  // Renaming needs only the folder's permission; a file made read-only stays refused.
  if (st.exists && !MayWrite(target)) return Failure("cannot create", path, errno);
  // A link that points nowhere is not followed: the new file replaces the link, and nothing is
  // created where it pointed.
  if (!st.exists) target = path;
  // The file is replaced whole: a new file beside it is written, flushed and renamed over it, so
  // a full disk or a crash leaves the old file as it was.
  const Outcome replaced = ReplaceFileWhole(target, text, st.exists ? st.mode : kFileMode, LinkPolicy::ReplaceLink);
  if (!replaced) return Failure(replaced.message == kCannotCreate ? "cannot create" : "cannot write", path, replaced.system);
  return {};
}

std::vector<std::string> SplitSettingsLines(std::string_view bytes, size_t maxLines) {
  LineSplitter splitter(maxLines);
  splitter.Feed(bytes);
  return splitter.Finish();
}

std::string RerootFontPath(std::string_view line, std::string_view programFolder) {
  if (line == kEmptyMarker || line.empty()) return std::string(line);
  return InFontExt(line, programFolder);
}

bool HoldsControlByte(std::string_view line) {
  return std::any_of(line.begin(), line.end(), [](char c) {
    const auto byte = static_cast<unsigned char>(c);
    return byte < 0x20 || byte == 0x7F;
  });
}

FontSelection SelectionFromSettingsLines(const std::vector<std::string>& lines, std::string_view programFolder) {
  FontSelection selection;
  for (size_t p = 0; p < selection.size() && 2 * p < lines.size(); ++p) {
    if (2 * p + 1 < lines.size() && HoldsControlByte(lines[2 * p + 1])) continue;  // stays free
    selection[p].displayName = lines[2 * p];
    if (2 * p + 1 < lines.size()) selection[p].fontPath = RerootFontPath(lines[2 * p + 1], programFolder);
  }
  return selection;
}

FontSelection ParseSettings(std::string_view bytes, std::string_view programFolder) {
  return SelectionFromSettingsLines(SplitSettingsLines(bytes), programFolder);
}

Outcome LoadSettingsFile(const std::string& path, std::string_view programFolder, FontSelection& selection) {
  // A FIFO would block the open and a device such as /dev/zero would never end, so only regular
  // files are read.
  FileHandle file = FileHandle::OpenRegularForReading(path);
  if (file.NotRegular()) return Outcome::Failure("cannot open " + path + ": not a regular file");
  if (!file.IsOpen()) return Failure("cannot open", path, file.Error());

  // Only the first 224 lines matter, so reading stops there; an over-long line is skipped
  // through, never held.
  LineSplitter splitter(kSettingsLines);
  std::array<char, 65536> buffer;
  for (;;) {
    const long n = file.Read(buffer.data(), buffer.size());
    if (n < 0) return Failure("cannot read", path, file.Error());
    if (n == 0 || !splitter.Feed(std::string_view(buffer.data(), static_cast<size_t>(n)))) break;
  }
  selection = SelectionFromSettingsLines(splitter.Finish(), programFolder);
  return {};
}

}  // namespace corvelle
