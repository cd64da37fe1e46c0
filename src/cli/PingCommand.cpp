// SPDX-License-Identifier: MIT
// corvelle-cli ping: the "TCP/IP test" of the port dialog, one ICMP echo to a printer, then a
// TCP connection to its port, since a printer can answer ping while nothing listens there.
#include <cctype>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string>

#include "cli/Commands.h"
#include "cli/TerminalHost.h"
#include "ports/PortProbe.h"
#include "ports/PortSettings.h"
#include "ports/echo/EchoProbe.h"

namespace corvelle::cli {
namespace {

// Dotted decimal of an IPv4 address held in network byte order.
std::string DottedDecimal(std::uint32_t address) {
  unsigned char bytes[4];
  std::memcpy(bytes, &address, sizeof bytes);
  return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "." +
         std::to_string(bytes[3]);
}

// The arguments the window uses when it tests a printer's address.
constexpr std::uint32_t kTimeoutMs = 5000;

// The port's result as a line of its own ("Port 4001 accepts connections"); false when Ctrl-C
// ended the wait, after saying "Ping stopped." as the echo's wait does.
bool PrintPortLine(CliContext& context, const std::string& host, int port) {
  const PortProbeResult result = ProbeTcpPort(context.host, host, port);
  if (result.answer == PortAnswer::Stopped) {
    std::cerr << "Ping stopped." << std::endl;
    return false;
  }
  std::string line = PortProbeText(port, result);
  line[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(line[0])));
  std::cout << line << std::endl;
  return true;
}

int RunPing(CliContext& context, ArgReader& args) {
  const auto port = args.IntOption("port");
  const auto words = args.Positionals();
  if (words.size() != 1) args.Fail(words.empty() ? "ping needs a HOST" : "ping takes one HOST");
  if (port && (*port < 1 || *port > 65535)) args.Fail("--port takes a TCP port from 1 to 65535");
  if (args.Failed()) return kExitUsage;
  const std::string& host = words.front();
  const int tcpPort = port ? static_cast<int>(*port) : kDefaultIpPort;

  // Ctrl-C, SIGTERM and SIGHUP (on Windows Ctrl-C, Ctrl-Break and closing the console) end the
  // wait for the reply at once.
  const auto reply = CEchoProbe(ProbeStopHandle(context.host.Stop())).Probe(host, EchoProbeOptions::Within(kTimeoutMs));
  if (!reply) {
    const int error = reply.Failure().system;
    if (reply.Failure().Stopped()) {
      std::cerr << "Ping stopped." << std::endl;
      return kExitFailed;
    }
    context.host.ShowMessage("No reply from " + host + ": " + EchoProbeErrorText(error), MessageStyle::Plain);
    // Where ICMP is dropped the port can still answer; a name that does not resolve has no port.
    if (error != kEchoErrorHostNotFound) PrintPortLine(context, host, tcpPort);
    return kExitFailed;
  }
  std::cout << "Reply from " << DottedDecimal(reply->responderAddress) << ": time=" << reply->roundTripMs << " ms"
            << std::endl;
  return PrintPortLine(context, host, tcpPort) ? kExitOk : kExitFailed;
}

}  // namespace

Command PingCommand() {
  return {"ping",
    "test whether a printer's address answers an ICMP echo",
    "Usage: corvelle-cli ping HOST [--port N]\n"
    "\n"
    "Sends one ICMP echo request to HOST (dotted decimal or a host name) the way the\n"
    "\"TCP/IP test\" of the port dialog does: time-to-live 10, 32 data bytes, waiting up to\n"
    "5 s for the reply. Prints the round-trip time and exits 0, or prints why there was no\n"
#ifdef _WIN32
    "reply on stderr and exits 1. Ctrl-C, Ctrl-Break or closing the console end the wait:\n"
    "\"Ping stopped.\", exit 1.\n"
    "\n"
    "Then it tries a TCP connection to port N of HOST (default 4001) for up to 3 s and says on\n"
    "a line of its own whether the port accepts connections, refused the connection or did not\n"
    "answer; the exit code follows the echo alone.\n"
    "\n"
    "A raw ICMP socket needs an administrator; otherwise the system's ICMP echo service\n"
    "(IcmpSendEcho2) sends the same request.\n"
    "\n"
    "Example: corvelle-cli ping 127.0.0.1\n",
#else
    "reply on stderr and exits 1. Ctrl-C, SIGTERM or SIGHUP end the wait: \"Ping stopped.\",\n"
    "exit 1.\n"
    "\n"
    "Then it tries a TCP connection to port N of HOST (default 4001) for up to 3 s and says on\n"
    "a line of its own whether the port accepts connections, refused the connection or did not\n"
    "answer; the exit code follows the echo alone.\n"
    "\n"
    "A raw ICMP socket needs root or CAP_NET_RAW; otherwise the datagram ICMP socket is\n"
    "used, which net.ipv4.ping_group_range must allow for the user's group.\n"
    "\n"
    "Example: corvelle-cli ping 127.0.0.1\n",
#endif
    RunPing};
}

}  // namespace corvelle::cli
