// SPDX-License-Identifier: MIT
// The command table of corvelle-cli.
#include "cli/Commands.h"

namespace corvelle::cli {

// Each command group's source file defines its entry.
Command CatalogueCommand();
Command SelectionCommand();
Command PingCommand();
Command BuildCommand();
Command InspectCommand();
Command DownloadCommand();
Command SetComCommand();

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands{
      CatalogueCommand(),
      SelectionCommand(),
      PingCommand(),
      BuildCommand(),
      InspectCommand(),
      DownloadCommand(),
      SetComCommand(),
  };
  return commands;
}

}  // namespace corvelle::cli
