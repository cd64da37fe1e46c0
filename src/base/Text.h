// SPDX-License-Identifier: MIT
// Small text helpers shared by reports and logs.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvelle {

// "0x" and the value in upper-case hexadecimal, zero-padded to at least `minDigits` digits.
std::string HexNumber(std::uint64_t value, int minDigits = 0);

// `text` without the blanks (spaces and NUL bytes) that pad it on the right.
std::string_view TrimPadding(std::string_view text);

}  // namespace corvelle
