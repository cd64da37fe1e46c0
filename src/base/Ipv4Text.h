// SPDX-License-Identifier: MIT
// IPv4 addresses written as text: every numeric form the C library's inet_aton takes, and the
// dotted decimal that names one address one way.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace corvelle {

// "a.b.c.d", "a.b.c" (c fills 16 bits), "a.b" (b fills 24 bits) or "a" (32 bits); each part
// decimal, octal with a leading 0, or hexadecimal with 0x or 0X. The address in host order, or
// nullopt for anything else (a name, an IPv6 address, a part too large, trailing text).
std::optional<std::uint32_t> ParseIPv4(std::string_view text);

// "127.0.0.1" for 0x7F000001.
std::string DottedDecimal(std::uint32_t address);

// An address spelled one way, to tell printers apart: dotted decimal for every numeric form,
// a host name in lower case (names are not case-sensitive).
std::string AddressKey(std::string_view address);

}  // namespace corvelle
