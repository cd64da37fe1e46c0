// The command table of corvelle-cli.
#include "cli/Commands.h"

namespace corvelle::cli {

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands{
      kBuildCommand,
      kInspectCommand,
  };
  return commands;
}

}  // namespace corvelle::cli
