// SPDX-License-Identifier: MIT
// corvelle-cli: the engine of the Corvelle window for scripts and servicing.
#include <iostream>
#include <string>
#include <vector>

#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/TempFiles.h"
#include "base/Version.h"
#include "cli/Commands.h"
#include "cli/Console.h"
#include "cli/TerminalHost.h"
#include "cli/TextSink.h"

namespace {

using namespace corvelle;
using namespace corvelle::cli;

void PrintToolHelp(std::ostream& out) {
  out << "Usage: corvelle-cli [--program-folder DIR] [--profile FILE] COMMAND [ARGS...]\n"
         "\n"
         "Builds and sends KERV font sets the way the Corvelle window does.\n"
         "\n"
         "Options:\n"
         "  --program-folder DIR  folder holding FontExt/ (default: the folder of this program, or\n"
         "                        ../share/corvelle beside it when this folder has no FontExt/)\n"
         "  --profile FILE        profile to use (default: "
      << DefaultProfilePath()
      << ")\n"
         "  -q, --quiet           no progress, only the messages (also after the command)\n"
         "  --version             the program's version\n"
         "  -h, --help            this text; COMMAND --help (or -h) describes a command\n"
         "\n"
         "Commands:\n";
  for (const Command& command : AllCommands()) {
    out << "  " << command.name << std::string(command.name.size() < 12 ? 12 - command.name.size() : 1, ' ')
        << command.summary << '\n';
  }
}

int UsageError(const std::string& message) {
  std::cerr << "corvelle-cli: " << message << " (see corvelle-cli --help)\n";
  return kExitUsage;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args = CommandArguments(argc, argv);
  std::string programFolder = ProgramFolder();
  IgnoreFileSizeSignal();
  PrepareConsole();
  EscapeStandardStreams();
  std::string profilePath = DefaultProfilePath();
  bool ownProfileFolder = true;
  bool quiet = false;

  // Global options stand before the command.
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      PrintToolHelp(std::cout);
      return FinishOutput("help");
    }
    if (arg == "--version") {
      std::cout << "corvelle-cli " << ProgramVersion() << '\n';
      return FinishOutput("version");
    }
    if (arg == "--quiet" || arg == "-q") {
      quiet = true;
      continue;
    }
    if (arg == "--program-folder" || arg == "--profile") {
      if (i + 1 >= args.size()) return UsageError("option " + arg + " needs a value");
      (arg == "--profile" ? profilePath : programFolder) = args[++i];
      if (arg == "--profile") ownProfileFolder = false;
      continue;
    }
    if (arg.rfind("--program-folder=", 0) == 0) {
      programFolder = arg.substr(17);
      continue;
    }
    if (arg.rfind("--profile=", 0) == 0) {
      profilePath = arg.substr(10);
      ownProfileFolder = false;
      continue;
    }
    if (arg.rfind("-", 0) == 0) return UsageError("unknown option '" + arg + "'");
    break;
  }
  if (i >= args.size()) return UsageError("no command given");

  const std::string name = args[i];
  const Command* command = nullptr;
  for (const Command& candidate : AllCommands()) {
    if (candidate.name == name) command = &candidate;
  }
  if (!command) return UsageError("unknown command '" + name + "'");

  std::vector<std::string> rest(args.begin() + static_cast<std::ptrdiff_t>(i + 1), args.end());
  // -h and -q are the short forms of --help and --quiet, wherever they stand among the options.
  for (size_t j = 0; j < rest.size() && rest[j] != "--"; ++j) {
    if (rest[j] == "-h") rest[j] = "--help";
    if (rest[j] == "-q") rest[j] = "--quiet";
  }
  ArgReader reader(std::move(rest));
  if (reader.Flag("help")) {
    std::cout << command->help;
    return FinishOutput("help");
  }
  quiet = reader.Flag("quiet") || quiet;

  // Temporary files of runs that were killed part way would otherwise stay for good.
  RemoveStaleTemporaryFiles(programFolder, profilePath);
  TerminalHost host;
  host.quiet = quiet;
  CliContext context{programFolder, profilePath, host, ownProfileFolder};
  const int code = command->run(context, reader);
  if (reader.Failed()) return UsageError(reader.Error());
  return code;
}
