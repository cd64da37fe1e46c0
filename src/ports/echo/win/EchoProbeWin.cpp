// SPDX-License-Identifier: MIT
// The echo probe on Windows: a raw ICMP socket when this process may open one (an administrator),
// else the system's ICMP echo service; the same request, deadline and matching rules either way.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>

#include "ports/echo/EchoProbe.h"
#include "ports/echo/EchoWire.h"
#include "ports/echo/win/EchoSocketWin.h"
#include "base/win/Winsock.h"

namespace corvelle {
int CEchoProbe::Probe(const std::string& host, EchoProbeReply* reply, unsigned ttl, std::uint32_t timeoutMs,
                      std::int32_t dataSize, unsigned tos, int dontFragment, const char* localAddress,
                      unsigned sequence) const {
  if (dataSize < 0) return FailEcho(EINVAL);
  if (const int error = win::WinsockReady(); error != 0) return FailEcho(error);
  const auto destination = win::ResolveIPv4(host);
  if (!destination) return 0;
  win::EchoRequest request;
  request.destination = *destination;
  request.ttl = ttl;
  request.tos = tos;
  request.dontFragment = dontFragment != 0;
  request.payload = std::min(dataSize, kEchoMaxPayload);
  request.sequence = static_cast<std::uint16_t>(sequence & 0xFFFF);
  request.timeoutMs = timeoutMs;
  if (const auto answer = win::ProbeOverRawSocket(request, localAddress, reply, m_stop)) return *answer;
  // The echo service sends from an address of its own choosing.
  if (localAddress != nullptr && *localAddress != '\0') return FailEcho(EACCES);
  return win::ProbeThroughIcmpService(request, reply, m_stop);
}

std::string EchoSystemErrorText(int error) {
  switch (error) {
    case ECANCELED:
      return "stopped";
    case EINVAL:
      return "invalid argument";
    case ENOMEM:
      return "not enough memory";
    default:
      return win::SystemErrorText(error);
  }
}

}  // namespace corvelle
