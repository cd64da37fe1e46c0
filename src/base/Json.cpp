// SPDX-License-Identifier: MIT
// JSON string writing and the flat-object reader.
#include "base/Json.h"

#include <cstdio>

#include "base/CodePage.h"

namespace corvelle {
namespace {

class FlatReader {
 public:
  explicit FlatReader(std::string_view text) : m_text(text) {}

  std::optional<std::map<std::string, JsonScalar>> Object(std::size_t maxKeys) {
    std::map<std::string, JsonScalar> object;
    if (!Take('{')) return std::nullopt;
    if (Take('}')) return End(std::move(object));
    for (std::size_t keys = 0;; ++keys) {
      if (keys >= maxKeys) return std::nullopt;
      std::string key;
      if (!String(key) || !Take(':')) return std::nullopt;
      const std::optional<JsonScalar> value = Scalar();
      if (!value) return std::nullopt;
      object[key] = *value;
      if (Take('}')) return End(std::move(object));
      if (!Take(',')) return std::nullopt;
    }
  }

 private:
  std::optional<std::map<std::string, JsonScalar>> End(std::map<std::string, JsonScalar> object) {
    SkipBlanks();
    if (m_pos != m_text.size()) return std::nullopt;
    return object;
  }

  void SkipBlanks() {
    while (m_pos < m_text.size() && (m_text[m_pos] == ' ' || m_text[m_pos] == '\t' || m_text[m_pos] == '\r' ||
                                     m_text[m_pos] == '\n')) {
      ++m_pos;
    }
  }

  bool Take(char c) {
    SkipBlanks();
    if (m_pos >= m_text.size() || m_text[m_pos] != c) return false;
    ++m_pos;
    return true;
  }

  bool Word(std::string_view word) {
    if (m_text.substr(m_pos, word.size()) != word) return false;
    m_pos += word.size();
    return true;
  }

  std::optional<JsonScalar> Scalar() {
    SkipBlanks();
    if (m_pos >= m_text.size()) return std::nullopt;
    JsonScalar value;
    const char c = m_text[m_pos];
    if (c == '"') {
      value.kind = JsonScalar::Kind::String;
      if (!String(value.text)) return std::nullopt;
    } else if (Word("true") || Word("false")) {
      value.kind = JsonScalar::Kind::Bool;
      value.text = c == 't' ? "true" : "false";
    } else if (Word("null")) {
      value.kind = JsonScalar::Kind::Null;
    } else if (!Number(value.text)) {
      return std::nullopt;
    } else {
      value.kind = JsonScalar::Kind::Number;
    }
    return value;
  }

  // -?digits(.digits)?([eE][+-]?digits)?, kept as written.
  bool Number(std::string& out) {
    const std::size_t start = m_pos;
    const auto digits = [this] {
      const std::size_t first = m_pos;
      while (m_pos < m_text.size() && m_text[m_pos] >= '0' && m_text[m_pos] <= '9') ++m_pos;
      return m_pos > first;
    };
    if (m_pos < m_text.size() && m_text[m_pos] == '-') ++m_pos;
    if (!digits()) return false;
    if (m_pos < m_text.size() && m_text[m_pos] == '.') {
      ++m_pos;
      if (!digits()) return false;
    }
    if (m_pos < m_text.size() && (m_text[m_pos] == 'e' || m_text[m_pos] == 'E')) {
      ++m_pos;
      if (m_pos < m_text.size() && (m_text[m_pos] == '+' || m_text[m_pos] == '-')) ++m_pos;
      if (!digits()) return false;
    }
    out.assign(m_text.substr(start, m_pos - start));
    return true;
  }

  bool String(std::string& out) {
    SkipBlanks();
    if (m_pos >= m_text.size() || m_text[m_pos] != '"') return false;
    ++m_pos;
    while (m_pos < m_text.size()) {
      const char c = m_text[m_pos++];
      if (c == '"') return true;
      if (static_cast<unsigned char>(c) < 0x20) return false;
      if (c != '\\') {
        out += c;
        continue;
      }
      if (m_pos >= m_text.size()) return false;
      const char e = m_text[m_pos++];
      switch (e) {
        case '"': case '\\': case '/': out += e; break;
        case 'b': out += '\b'; break;
        case 'f': out += '\f'; break;
        case 'n': out += '\n'; break;
        case 'r': out += '\r'; break;
        case 't': out += '\t'; break;
        case 'u': {
          unsigned code = 0;
          if (!Hex4(code)) return false;
          if (code <= 0xFF) {
            out += static_cast<char>(code);
          } else if (code >= 0xD800 && code <= 0xDBFF && m_text.substr(m_pos, 2) == "\\u") {
            const std::size_t after = m_pos;
            m_pos += 2;
            unsigned low = 0;
            if (!Hex4(low)) return false;
            if (low >= 0xDC00 && low <= 0xDFFF) {
              AppendUtf8(out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
            } else {
              AppendUtf8(out, 0xFFFD);
              m_pos = after;  // the escape after a lone high surrogate is read on its own
            }
          } else {
            AppendUtf8(out, code >= 0xD800 && code <= 0xDFFF ? 0xFFFD : code);
          }
          break;
        }
        default: return false;
      }
    }
    return false;
  }

  // Four hexadecimal digits at the read position.
  bool Hex4(unsigned& code) {
    if (m_pos + 4 > m_text.size()) return false;
    code = 0;
    for (int i = 0; i < 4; ++i) {
      const char h = m_text[m_pos++];
      code <<= 4;
      if (h >= '0' && h <= '9') code |= static_cast<unsigned>(h - '0');
      else if (h >= 'a' && h <= 'f') code |= static_cast<unsigned>(h - 'a' + 10);
      else if (h >= 'A' && h <= 'F') code |= static_cast<unsigned>(h - 'A' + 10);
      else return false;
    }
    return true;
  }

  std::string_view m_text;
  std::size_t m_pos = 0;
};

}  // namespace

std::string JsonString(std::string_view text) {
  std::string out = "\"";
  while (!text.empty()) {
    const char c = text.front();
    const auto byte = static_cast<unsigned char>(c);
    const std::size_t sequence = byte >= 0x80 ? Utf8SequenceLength(text) : 1;
    if (sequence > 1) {
      out += text.substr(0, sequence);
    } else if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\t') {
      out += "\\t";
    } else if (byte < 0x20 || byte >= 0x7F) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", byte);
      out += escape;
    } else {
      out += c;
    }
    text.remove_prefix(sequence > 1 ? sequence : 1);
  }
  return out + '"';
}

std::optional<std::map<std::string, JsonScalar>> ParseFlatJsonObject(std::string_view text, std::size_t maxBytes,
                                                                     std::size_t maxKeys) {
  if (text.size() > maxBytes) return std::nullopt;
  return FlatReader(text).Object(maxKeys);
}

}  // namespace corvelle
