// SPDX-License-Identifier: MIT
// The echo probe on Windows: a raw ICMP socket when this process may open one (an administrator),
// else the system's ICMP echo service; the same request, deadline and matching rules either way.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "ports/echo/EchoProbe.h"
#include "ports/echo/EchoWire.h"
#include "ports/echo/win/EchoSocketWin.h"
#include "base/win/Winsock.h"

namespace corvelle {

Result<EchoProbeReply> CEchoProbe::Probe(const std::string& host, const EchoProbeOptions& options) const {
  if (options.dataSize < 0) return EchoFailure(EINVAL);
  if (const int error = win::WinsockReady(); error != 0) return EchoFailure(error);
  const auto destination = ResolveIPv4(host);
  if (!destination) return destination.Failure();
  win::EchoRequest request;
  request.destination = *destination;
  request.ttl = options.ttl;
  request.tos = options.tos;
  request.dontFragment = options.dontFragment;
  request.payload = std::min(options.dataSize, kEchoMaxPayload);
  request.sequence = static_cast<std::uint16_t>(options.sequence & 0xFFFF);
  request.timeoutMs = options.timeoutMs;
  if (auto answer = win::ProbeOverRawSocket(request, options.localAddress.c_str(), m_stop)) return std::move(*answer);
  // The echo service sends from an address of its own choosing.
  if (!options.localAddress.empty()) return EchoFailure(EACCES);
  return win::ProbeThroughIcmpService(request, m_stop);
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
