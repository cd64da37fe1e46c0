// SPDX-License-Identifier: MIT
// Host names of printers as IPv4 addresses, with the platform's resolver.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

namespace corvelle {

// The first IPv4 address of a host name (host byte order); nullopt when it has none.
std::optional<std::uint32_t> LookUpIPv4(const std::string& name);

// `text` as an IPv4 address (host byte order): dotted decimal as it stands, else the first address
// of the host name it is; nullopt when it is neither.
std::optional<std::uint32_t> ResolveIPv4Text(const std::string& text);

// How a caller turns a name into an address: the platform's resolver, or a test's table.
using NameLookUp = std::function<std::optional<std::uint32_t>(const std::string& name)>;

}  // namespace corvelle
