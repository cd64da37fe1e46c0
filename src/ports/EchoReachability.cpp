// SPDX-License-Identifier: MIT
// The reachability test of the TCP/IP kind: one ICMP echo to the printer's address.
#include "ports/PortEnvironment.h"
#include "ports/echo/EchoProbe.h"

namespace corvelle {

bool EchoProbeReachable(const std::string& host) { return ProbeReachability(host, kNoStopHandle) == 0; }

int ProbeReachability(const std::string& host, NativeHandle stop) {
  EchoProbeReply reply;
  return CEchoProbe(stop).Probe(host, &reply, 10, 5000, 32, 0, 0, nullptr, 0) != 0 ? 0 : CEchoProbe::LastError();
}

std::string ReachabilityErrorText(int error) { return EchoProbeErrorText(error); }

}  // namespace corvelle
