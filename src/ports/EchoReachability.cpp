// SPDX-License-Identifier: MIT
// The reachability test of the TCP/IP kind: one ICMP echo to the printer's address.
#include "ports/PortEnvironment.h"
#include "ports/echo/EchoProbe.h"

namespace corvelle {

bool EchoProbeReachable(const std::string& host) {
  EchoProbeReply reply;
  return CEchoProbe().Probe(host, &reply, 10, 5000, 32, 0, 0, nullptr, 0) != 0;
}

}  // namespace corvelle
