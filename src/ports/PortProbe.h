// SPDX-License-Identifier: MIT
// Whether a printer's TCP port takes connections: one connect to the address as given, made
// without blocking the surroundings and given up after a few seconds. The port dialog's test,
// `ping` and `scan` ask it after the echo, since a printer can answer ping while nothing listens
// on its port. Nothing is sent; an accepted connection is closed at once.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

namespace corvelle {

class Host;

enum class PortAnswer {
  Accepts,      // the connection was made
  Refuses,      // the printer (or the host at that address) refused it
  Silent,       // no answer before the limit
  Unreachable,  // the name does not resolve, no route, not a port number, no socket...
  Stopped,      // STOP (or the caller's own stop) ended the wait
};

struct PortProbeResult {
  PortAnswer answer = PortAnswer::Unreachable;
  int error = 0;  // the system's error number behind Unreachable (0 for a port out of range)
};

inline constexpr std::int64_t kPortProbeLimitMs = 3000;

// Connects to `address` (dotted decimal or a host name) and `port` (1 to 65535), waiting on
// `host` for at most `limitMs`; the host's STOP and `stopped` end the wait early.
PortProbeResult ProbeTcpPort(Host& host, const std::string& address, int port,
                             std::int64_t limitMs = kPortProbeLimitMs, const std::function<bool()>& stopped = {});

// The result in words, starting in lower case so that it can follow another clause:
// "port 4001 accepts connections", "port 4001 refused the connection",
// "port 4001 did not answer within 3 s", "port 4001 cannot be reached (No route to host)",
// "port 0 is not a TCP port (1 to 65535)", "the port test was stopped".
std::string PortProbeText(int port, const PortProbeResult& result, std::int64_t limitMs = kPortProbeLimitMs);

}  // namespace corvelle
