// SPDX-License-Identifier: MIT
// The command table of corvelle-cli.
#include "cli/Commands.h"

#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <iostream>

#include "base/Paths.h"

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

bool HasFontExt(const CliContext& context) {
  struct stat st {};
  const std::string folder = JoinPath(context.programFolder, "FontExt");
  if (::stat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  std::cerr << "corvelle-cli: the program folder " << context.programFolder << " has no FontExt folder\n";
  return false;
}

namespace {

// True when `fd` is a pipe or socket whose reader has gone: poll reports an error on it.
bool ReaderGone(int fd) {
  pollfd ready{fd, POLLOUT, 0};
  return ::poll(&ready, 1, 0) == 1 && (ready.revents & POLLERR) != 0;
}

}  // namespace

int FinishOutput(std::string_view what) {
  errno = 0;
  std::cout.flush();
  if (std::cout) return kExitOk;
  if (errno == EPIPE || ReaderGone(STDOUT_FILENO)) return kExitOk;
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
  };
  return commands;
}

}  // namespace corvelle::cli
