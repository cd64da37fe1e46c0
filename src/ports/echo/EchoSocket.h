// SPDX-License-Identifier: MIT
// The socket side of the echo probe: name look-up, the ICMP socket, binding and waiting.
#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "base/Outcome.h"
#include "base/UniqueFd.h"
#include "ports/echo/AddressLookup.h"
#include "ports/echo/EchoWire.h"

namespace corvelle {

// An ICMP socket for echo requests and how its datagrams arrive.
struct EchoSocket {
  UniqueFd fd;
  EchoFraming framing = EchoFraming::IpHeader;
};

// A raw ICMP socket when this process may open one, else the datagram ICMP socket, whose
// kernel fills in the identifier and strips the IP header; else why neither opens.
Result<EchoSocket> OpenEchoSocket();

// Binds `fd` to the local address `text` (dotted decimal or a name), port 0; fails when the
// name is unknown or the bind fails.
Outcome BindLocal(int fd, const std::string& text);

// Waits up to `limitMs` for `fd` to become readable: whether a packet is there. Stopped when
// `stopFd` (-1 for none) became readable first; a failure when the wait itself failed.
Result<bool> IsReadable(int fd, std::uint32_t limitMs, int stopFd);

}  // namespace corvelle
