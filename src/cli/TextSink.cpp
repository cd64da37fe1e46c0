// SPDX-License-Identifier: MIT
// Control characters escaped on their way to the terminal.
#include "cli/TextSink.h"

#include <iostream>

namespace corvelle::cli {
namespace {

bool Escaped(unsigned char byte) { return (byte < 0x20 && byte != '\n' && byte != '\t') || byte == 0x7f; }

// Four columns for an escaped byte, none for a UTF-8 continuation byte, one for the rest.
std::size_t ByteWidth(unsigned char byte) {
  if (Escaped(byte)) return 4;
  return (byte & 0xc0) != 0x80 ? 1 : 0;
}

}  // namespace

EscapingBuffer::int_type EscapingBuffer::overflow(int_type c) {
  if (traits_type::eq_int_type(c, traits_type::eof())) return traits_type::not_eof(c);
  const char byte = traits_type::to_char_type(c);
  return xsputn(&byte, 1) == 1 ? c : traits_type::eof();
}

std::size_t ShownWidth(std::string_view text) {
  std::size_t width = 0;
  for (const char c : text) width += ByteWidth(static_cast<unsigned char>(c));
  return width;
}

std::string_view CutToShownWidth(std::string_view text, std::size_t columns) {
  std::size_t width = 0, end = 0;
  for (; end < text.size(); ++end) {
    width += ByteWidth(static_cast<unsigned char>(text[end]));
    if (width > columns) break;
  }
  return text.substr(0, end);
}

std::streamsize EscapingBuffer::xsputn(const char* text, std::streamsize count) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::streamsize done = 0;
  while (done < count) {
    std::streamsize plain = done;
    while (plain < count && !Escaped(static_cast<unsigned char>(text[plain]))) ++plain;
    if (plain > done && m_inner->sputn(text + done, plain - done) != plain - done) return done;
    done = plain;
    if (done == count) break;
    const auto byte = static_cast<unsigned char>(text[done]);
    const char escape[4] = {'\\', 'x', kDigits[byte >> 4], kDigits[byte & 0xf]};
    if (m_inner->sputn(escape, 4) != 4) return done;
    ++done;
  }
  return done;
}

int EscapingBuffer::sync() { return m_inner->pubsync(); }

void EscapeStandardStreams() {
  // Never destroyed: the streams are flushed through them after every static object is gone.
  static EscapingBuffer* const out = new EscapingBuffer(std::cout.rdbuf());
  static EscapingBuffer* const err = new EscapingBuffer(std::cerr.rdbuf());
  std::cout.rdbuf(out);
  std::cerr.rdbuf(err);
}

std::ostream& operator<<(std::ostream& out, TerminalControl control) {
  auto* escaping = dynamic_cast<EscapingBuffer*>(out.rdbuf());
  std::streambuf* target = escaping ? escaping->Inner() : out.rdbuf();
  const auto size = static_cast<std::streamsize>(control.text.size());
  if (!target || target->sputn(control.text.data(), size) != size) out.setstate(std::ios::badbit);
  return out;
}

}  // namespace corvelle::cli
