// SPDX-License-Identifier: MIT
// corvelle-cli ping on Windows, until the echo probe is built here: it says so and fails.
#include <iostream>

#include "cli/Commands.h"

namespace corvelle::cli {
namespace {

int RunPing(CliContext&, ArgReader& args) {
  const auto words = args.Positionals();
  if (words.size() != 1) args.Fail(words.empty() ? "ping needs a HOST" : "ping takes one HOST");
  if (args.Failed()) return kExitUsage;
  std::cerr << "This Windows build cannot send an echo request yet." << std::endl;
  return kExitFailed;
}

}  // namespace

Command PingCommand() {
  return {"ping",
    "test whether a printer's address answers an ICMP echo",
    "Usage: corvelle-cli ping HOST\n"
    "\n"
    "Sends one ICMP echo request to HOST the way the \"TCP/IP test\" of the port dialog does.\n"
    "This Windows build cannot send it yet: it says so and exits 1.\n",
    RunPing};
}

}  // namespace corvelle::cli
