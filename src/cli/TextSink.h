// SPDX-License-Identifier: MIT
// corvelle-cli's standard output and standard error carry text. Names, messages and paths come
// from files, profiles, printers and the system, and a control character among them (ESC, BEL,
// CR, ...) would act on the terminal instead of showing: every byte below 0x20 other than the
// newline and the tab, and DEL, is written as \xHH. The newline that ends a line and the tab
// that separates fields pass as they are; so do bytes from 0x80 up (UTF-8 text). The program's
// own terminal controls (a line redrawn in place) are written past the escaping.
#pragma once

#include <cstddef>
#include <ostream>
#include <streambuf>
#include <string_view>

namespace corvelle::cli {

// A stream buffer that writes to `inner`, escaping control characters.
class EscapingBuffer : public std::streambuf {
 public:
  explicit EscapingBuffer(std::streambuf* inner) : m_inner(inner) {}
  std::streambuf* Inner() const { return m_inner; }

 protected:
  int_type overflow(int_type c) override;
  std::streamsize xsputn(const char* text, std::streamsize count) override;
  int sync() override;

 private:
  std::streambuf* m_inner;
};

// The columns `text` takes once written to an escaping stream: four for an escaped byte, none for
// a UTF-8 continuation byte, one for every other byte. Tables pad by it.
std::size_t ShownWidth(std::string_view text);
// The start of `text` that takes at most `columns` columns so, never ending inside a character.
std::string_view CutToShownWidth(std::string_view text, std::size_t columns);

// From here on std::cout and std::cerr escape control characters.
void EscapeStandardStreams();

// The program's own terminal control sequence, such as "\r\033[K": written as it is, also to a
// stream that escapes.
struct TerminalControl {
  std::string_view text;
};
std::ostream& operator<<(std::ostream& out, TerminalControl control);

}  // namespace corvelle::cli
