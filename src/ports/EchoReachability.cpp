// SPDX-License-Identifier: MIT
// The reachability test of the TCP/IP kind and of the port dialog's "TCP/IP test": ICMP echo
// requests to the printer's address, asked again when no reply came, so that one lost packet
// does not fail a printer.
#include <cerrno>

#include "ports/PortEnvironment.h"
#include "ports/echo/EchoProbe.h"

namespace corvelle {

bool EchoProbeReachable(const std::string& host) { return ProbeReachability(host, kNoStopHandle) == 0; }

int AskForEchoReply(const std::function<int(std::uint32_t waitMs)>& request) {
  // Three requests one second apart; the last waits for what is left of the 5 s.
  constexpr std::uint32_t kWaits[] = {1000, 1000, 3000};
  int error = ETIMEDOUT;
  for (const std::uint32_t wait : kWaits) {
    error = request(wait);
    // Only silence is asked again: a reply, STOP, or a reason that another request cannot change
    // (no permission, an unknown name, a refusal) ends the test.
    if (error != ETIMEDOUT) break;
  }
  return error;
}

int ProbeReachability(const std::string& host, NativeHandle stop) {
  return AskForEchoReply([&](std::uint32_t waitMs) {
    const auto reply = CEchoProbe(stop).Probe(host, EchoProbeOptions::Within(waitMs));
    return reply ? 0 : reply.Failure().system;
  });
}

std::string ReachabilityErrorText(int error) { return EchoProbeErrorText(error); }

}  // namespace corvelle
