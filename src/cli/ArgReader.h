// SPDX-License-Identifier: MIT
// Reads a command's arguments: flags, options with values, and positional words.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvelle::cli {

class ArgReader {
 public:
  explicit ArgReader(std::vector<std::string> args) : m_args(std::move(args)) {}

  // Consumes every "--name"; true when there was one.
  bool Flag(std::string_view name);
  // The same for "--name" and its short form "-c".
  bool Flag(std::string_view name, char shortName);
  // Consumes "--name VALUE" or "--name=VALUE" (the last one wins); nullopt when absent.
  // A missing value is an error.
  std::optional<std::string> Option(std::string_view name);
  // Consumes every occurrence, in order.
  std::vector<std::string> Options(std::string_view name);
  // Consumes every occurrence of any of `names`, in the order given: (name, value) pairs.
  std::vector<std::pair<std::string, std::string>> OptionsInOrder(const std::vector<std::string_view>& names);
  // Parses an option as a decimal integer; an error when it is not one.
  std::optional<long long> IntOption(std::string_view name);
  // What is left once the options are consumed. A leftover word starting with "--" is an
  // unknown option (an error); "--" ends the options.
  std::vector<std::string> Positionals();

  bool Failed() const { return !m_error.empty(); }
  const std::string& Error() const { return m_error; }
  void Fail(std::string message) {
    if (m_error.empty()) m_error = std::move(message);
  }

  // Strict decimal integer (optional minus sign); nullopt for anything else.
  static std::optional<long long> ParseInteger(std::string_view text);

 private:
  // Consumes every `word` before the "--" that ends the options; true when there was one.
  bool TakeAll(const std::string& word);

  std::vector<std::string> m_args;
  std::string m_error;
};

}  // namespace corvelle::cli
