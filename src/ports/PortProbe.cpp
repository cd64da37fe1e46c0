// SPDX-License-Identifier: MIT
// The TCP port probe over the client socket, which already connects without blocking on both
// systems; only the error numbers that mean "refused" and "timed out" differ between them.
#include "ports/PortProbe.h"

#include <cerrno>

#include "base/Host.h"
#include "ports/ClientSocket.h"

namespace corvelle {
namespace {

#ifdef _WIN32
constexpr int kRefused = 10061;   // WSAECONNREFUSED
constexpr int kTimedOut = 10060;  // WSAETIMEDOUT
#else
constexpr int kRefused = ECONNREFUSED;
constexpr int kTimedOut = ETIMEDOUT;
#endif

constexpr int kHighestPort = 65535;

bool IsTcpPort(int port) { return port >= 1 && port <= kHighestPort; }

}  // namespace

PortProbeResult ProbeTcpPort(Host& host, const std::string& address, int port, std::int64_t limitMs,
                             const std::function<bool()>& stopped) {
  if (!IsTcpPort(port)) return {PortAnswer::Unreachable, 0};
  const auto stopAsked = [&] { return host.StopRequested() || (stopped && stopped()); };
  if (stopAsked()) return {PortAnswer::Stopped, 0};
  CClientSocket socket(host);
  if (const Outcome created = socket.Create(); !created) return {PortAnswer::Unreachable, created.system};
  const std::int64_t deadline = host.Now() + limitMs;
  bool late = false;
  const Outcome connected = socket.Connect(address, port, [&] {
    if (stopAsked()) return true;
    late = host.Now() >= deadline;
    return late;
  });
  // The socket is closed when it goes out of scope, before anything was sent.
  if (connected) return {PortAnswer::Accepts, 0};
  if (connected.Stopped()) return {late ? PortAnswer::Silent : PortAnswer::Stopped, 0};
  if (connected.system == kRefused) return {PortAnswer::Refuses, 0};
  if (connected.system == kTimedOut) return {PortAnswer::Silent, 0};
  return {PortAnswer::Unreachable, connected.system};
}

std::string PortProbeText(int port, const PortProbeResult& result, std::int64_t limitMs) {
  const std::string which = "port " + std::to_string(port);
  if (!IsTcpPort(port)) return which + " is not a TCP port (1 to 65535)";
  switch (result.answer) {
    case PortAnswer::Accepts: return which + " accepts connections";
    case PortAnswer::Refuses: return which + " refused the connection";
    case PortAnswer::Silent: return which + " did not answer within " + std::to_string((limitMs + 999) / 1000) + " s";
    case PortAnswer::Unreachable: return which + " cannot be reached (" + CClientSocket::ErrorText(result.error) + ")";
    case PortAnswer::Stopped: break;
  }
  return "the port test was stopped";
}

}  // namespace corvelle
