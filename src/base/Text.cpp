// SPDX-License-Identifier: MIT
// Small text helpers.
#include "base/Text.h"

#include <cstdio>

namespace corvelle {

std::string HexNumber(std::uint64_t value, int minDigits) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%0*llX", minDigits, static_cast<unsigned long long>(value));
  return text;
}

std::string_view TrimPadding(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\0')) text.remove_suffix(1);
  return text;
}

}  // namespace corvelle
