// SPDX-License-Identifier: MIT
// The socket side of the echo probe: name look-up, the ICMP socket, binding and waiting.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/UniqueFd.h"
#include "ports/echo/EchoWire.h"

namespace corvelle {

// An ICMP socket for echo requests and how its datagrams arrive.
struct EchoSocket {
  UniqueFd fd;
  EchoFraming framing = EchoFraming::IpHeader;
};

// An IPv4 socket address with port 0: dotted decimal taken as it is, else the first IPv4
// address a name look-up gives. nullopt, with the probe's last error set, when the text
// names no host.
std::optional<sockaddr_in> ResolveIPv4(const std::string& text);

// A raw ICMP socket when this process may open one, else the datagram ICMP socket, whose
// kernel fills in the identifier and strips the IP header. Invalid, with the last error
// set, when neither opens.
EchoSocket OpenEchoSocket();

// Binds `fd` to the local address `text` (dotted decimal or a name), port 0. 1 on success;
// 0, with the last error set, when the name is unknown or the bind fails.
int BindLocal(int fd, const std::string& text);

// Waits up to `limitMs` for `fd` to become readable, or for `stopFd` (-1 for none) to become
// readable, which sets `stopped`. Returns 1 when the wait itself worked, with `readable` telling
// whether a packet is there; 0, with the last error set, when the wait failed.
int IsReadable(int fd, std::uint32_t limitMs, bool& readable, int stopFd, bool& stopped);

}  // namespace corvelle
