// SPDX-License-Identifier: MIT
// corvelle-cli download to several printers on Windows, until TCP/IP is built here: it says so
// and fails, as a TCP/IP download to one printer does.
#include "cli/FleetCommand.h"

#include "cli/TerminalHost.h"

namespace corvelle::cli {

int RunFleetDownload(CliContext& context, const Profile&, FleetJob) {
  context.host.ShowMessage("This Windows build cannot serve several printers yet.", MessageStyle::Plain);
  return kExitFailed;
}

}  // namespace corvelle::cli
