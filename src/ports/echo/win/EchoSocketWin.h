// SPDX-License-Identifier: MIT
// The Windows side of the echo probe: name look-up, the raw ICMP socket, the wait beside STOP, and
// the system's ICMP echo service for processes that may not open a raw socket.
#pragma once

#include <winsock2.h>

#include <cstdint>
#include <optional>
#include <string>

#include "base/NativeHandle.h"
#include "ports/echo/AddressLookup.h"
#include "ports/echo/EchoProbe.h"

namespace corvelle::win {

enum class EchoWait { Ready, TimedOut, Stopped, Failed };

// Until `event` is signalled, `limitMs` passes or `stop` (kNoStopHandle for none) is set. A stop
// set beforehand wins, so a probe that STOP has ended never counts a reply. Failed leaves the
// reason in GetLastError.
EchoWait WaitForEchoEvent(HANDLE event, std::uint32_t limitMs, NativeHandle stop);

// The probe's fields that both ways of sending take.
struct EchoRequest {
  sockaddr_in destination{};
  unsigned ttl = 0;
  unsigned tos = 0;
  bool dontFragment = false;
  std::int32_t payload = 0;  // already cut to 0..1024
  std::uint16_t sequence = 0;
  std::uint32_t timeoutMs = 0;
};

// One echo over a raw ICMP socket, with the request built here and the reply matched on the
// probed address, this probe's identifier and the sequence. nullopt when no raw socket may be
// opened (WSAEACCES), so the caller can fall back; else the probe's answer.
std::optional<Result<EchoProbeReply>> ProbeOverRawSocket(const EchoRequest& request, const char* localAddress,
                                                         NativeHandle stop);

// One echo through IcmpSendEcho2 (iphlpapi), which builds the ICMP header and matches identifier
// and sequence itself. The data it sends is the request's own time stamp and payload, so the
// bytes on the wire are the raw socket's; a reply counts only from the probed address, with
// IP_SUCCESS and those data bytes echoed. The request's completion event is waited on beside
// `stop`.
Result<EchoProbeReply> ProbeThroughIcmpService(const EchoRequest& request, NativeHandle stop);

}  // namespace corvelle::win
