// SPDX-License-Identifier: MIT
// Command-line argument reading for corvelle-cli.
#include "cli/ArgReader.h"

#include <charconv>

namespace corvelle::cli {
namespace {

// Index of the "--" that ends the options, or the argument count.
size_t OptionsEnd(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--") return i;
  }
  return args.size();
}

}  // namespace

bool ArgReader::TakeAll(const std::string& word) {
  bool found = false;
  for (size_t i = 0; i < OptionsEnd(m_args);) {
    if (m_args[i] == word) {
      m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i));
      found = true;
    } else {
      ++i;
    }
  }
  return found;
}

bool ArgReader::Flag(std::string_view name) { return TakeAll("--" + std::string(name)); }

bool ArgReader::Flag(std::string_view name, char shortName) {
  const bool longForm = Flag(name);
  return TakeAll(std::string{'-', shortName}) || longForm;
}

std::vector<std::string> ArgReader::Options(std::string_view name) {
  const std::string option = "--" + std::string(name);
  std::vector<std::string> values;
  for (size_t i = 0; i < OptionsEnd(m_args);) {
    const std::string& arg = m_args[i];
    if (arg == option) {
      if (i + 1 >= OptionsEnd(m_args)) {
        Fail("option " + option + " needs a value");
        m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i));
        continue;
      }
      values.push_back(m_args[i + 1]);
      m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i), m_args.begin() + static_cast<std::ptrdiff_t>(i + 2));
    } else if (arg.rfind(option + "=", 0) == 0) {
      values.push_back(arg.substr(option.size() + 1));
      m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i));
    } else {
      ++i;
    }
  }
  return values;
}

std::vector<std::pair<std::string, std::string>> ArgReader::OptionsInOrder(const std::vector<std::string_view>& names) {
  std::vector<std::pair<std::string, std::string>> values;
  for (size_t i = 0; i < OptionsEnd(m_args);) {
    bool taken = false;
    for (const std::string_view name : names) {
      const std::string option = "--" + std::string(name);
      const std::string& arg = m_args[i];
      if (arg == option) {
        if (i + 1 >= OptionsEnd(m_args)) {
          Fail("option " + option + " needs a value");
          m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i));
        } else {
          values.emplace_back(name, m_args[i + 1]);
          m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i),
                       m_args.begin() + static_cast<std::ptrdiff_t>(i + 2));
        }
        taken = true;
      } else if (arg.rfind(option + "=", 0) == 0) {
        values.emplace_back(name, arg.substr(option.size() + 1));
        m_args.erase(m_args.begin() + static_cast<std::ptrdiff_t>(i));
        taken = true;
      }
      if (taken) break;
    }
    if (!taken) ++i;
  }
  return values;
}

std::optional<std::string> ArgReader::Option(std::string_view name) {
  auto values = Options(name);
  if (values.empty()) return std::nullopt;
  return values.back();
}

std::optional<long long> ArgReader::IntOption(std::string_view name) {
  const auto text = Option(name);
  if (!text) return std::nullopt;
  const auto value = ParseInteger(*text);
  if (!value) Fail("option --" + std::string(name) + " needs a number, not '" + *text + "'");
  return value;
}

std::vector<std::string> ArgReader::Positionals() {
  std::vector<std::string> words;
  const size_t end = OptionsEnd(m_args);
  for (size_t i = 0; i < m_args.size(); ++i) {
    if (i == end) continue;
    if (i < end && m_args[i].size() > 2 && m_args[i].rfind("--", 0) == 0) {
      Fail("unknown option '" + m_args[i] + "'");
      continue;
    }
    words.push_back(m_args[i]);
  }
  m_args.clear();
  return words;
}

std::optional<long long> ArgReader::ParseInteger(std::string_view text) {
  long long value = 0;
  const char* first = text.data();
  const char* last = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(first, last, value);
  if (text.empty() || ec != std::errc() || ptr != last) return std::nullopt;
  return value;
}

}  // namespace corvelle::cli
