// The command table of corvelle-cli.
#include "cli/Commands.h"

namespace corvelle::cli {

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands{
      kPingCommand,
  };
  return commands;
}

}  // namespace corvelle::cli
