// SPDX-License-Identifier: MIT
// The command table of corvelle-cli.
#include "cli/Commands.h"

#include <cerrno>
#include <iostream>

#include "base/FileSystem.h"
#include "base/Paths.h"
#include "cli/Console.h"
#include "ports/PortTypes.h"

namespace corvelle::cli {

std::optional<Profile> ReadProfile(const CliContext& context) {
  Profile profile(context.profilePath);
  if (context.ownProfileFolder) {
    if (const std::string problem = OwnFolderProblem(ParentFolder(context.profilePath)); !problem.empty()) {
      profile.Refuse(problem);
    }
  }
  if (!profile.LoadError().empty()) {
    std::cerr << "corvelle-cli: " << profile.LoadError() << '\n';
    return std::nullopt;
  }
  return profile;
}

std::optional<std::string> PortOption(ArgReader& args) {
  const auto typed = args.Option("port");
  if (!typed) return std::nullopt;
  return TypedPortName(*typed);
}

bool HasFontExt(const CliContext& context) {
  if (StatPath(JoinPath(context.programFolder, "FontExt")).folder) return true;
  std::cerr << "corvelle-cli: the program folder " << context.programFolder << " has no FontExt folder\n";
  return false;
}

int FinishOutput(std::string_view what) {
  errno = 0;
  std::cout.flush();
  if (std::cout) return kExitOk;
  if (errno == EPIPE || StandardOutputReaderGone()) return kExitOk;
  std::cerr << "corvelle-cli: cannot write the " << what << " to standard output\n";
  return kExitFailed;
}

// Each command group's source file defines its entry.
Command CatalogueCommand();
Command SelectionCommand();
Command PingCommand();
Command BuildCommand();
Command InspectCommand();
Command DownloadCommand();
Command SetComCommand();
Command HistoryCommand();
Command ScanCommand();

const std::vector<Command>& AllCommands() {
  static const std::vector<Command> commands{
      CatalogueCommand(),
      SelectionCommand(),
      PingCommand(),
      BuildCommand(),
      InspectCommand(),
      DownloadCommand(),
      SetComCommand(),
      HistoryCommand(),
      ScanCommand(),
  };
  return commands;
}

}  // namespace corvelle::cli
