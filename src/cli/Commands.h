// SPDX-License-Identifier: MIT
// The commands of corvelle-cli and what they share.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/Profile.h"
#include "cli/ArgReader.h"

namespace corvelle::cli {

class TerminalHost;

inline constexpr int kExitOk = 0;
inline constexpr int kExitFailed = 1;
inline constexpr int kExitUsage = 2;

// What a FILE port run says when it has no output file to write.
inline constexpr const char* kFileNeedsOutput = "The FILE port needs --output FILE: no output file was given.";

// What every command gets: the folders and profile the window would use, and the terminal.
struct CliContext {
  std::string programFolder;  // the folder holding FontExt/ (the executable's by default)
  std::string profilePath;    // corvelle.ini
  TerminalHost& host;
  bool ownProfileFolder = false;  // profilePath is the default, in the program's own folder
};

// The profile of `context` for a command that reads it: nullopt, after saying why on stderr,
// when it exists but cannot be read, or when its folder is the program's own and is not to be
// trusted. A missing profile is an empty one (a first start).
std::optional<Profile> ReadProfile(const CliContext& context);

// The --port option, with a name Windows users type in their own spelling taken as the port
// it stands for (TypedPortName); a name that stands for no port comes back as typed.
std::optional<std::string> PortOption(ArgReader& args);

// True when the program folder has a FontExt folder; false after saying so on stderr.
bool HasFontExt(const CliContext& context);

// Flushes standard output and tells whether everything written reached it: kExitOk, also when
// the reader has gone (a closed pipe, as in `catalogue | head -1`, ends the run quietly: the
// reader took what it wanted), else kExitFailed after saying "cannot write the WHAT to standard
// output" on stderr.
int FinishOutput(std::string_view what);

// A command reads its options, then its positionals; when `args.Failed()` it returns
// kExitUsage before doing anything, and main prints the error.
using CommandFn = int (*)(CliContext& context, ArgReader& args);

struct Command {
  std::string_view name;
  std::string_view summary;  // one line for the tool's --help
  std::string_view help;     // the command's --help text
  CommandFn run;
};

// Every command, in the order --help lists them.
const std::vector<Command>& AllCommands();

}  // namespace corvelle::cli
