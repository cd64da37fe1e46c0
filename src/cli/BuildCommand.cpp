// SPDX-License-Identifier: MIT
// corvelle-cli build: builds the font set image from the profile's stored selection, as the
// window's "Download" and "Create file to download" do.
#include <iostream>

#include "base/Profile.h"
#include "cli/Commands.h"
#include "cli/TerminalHost.h"
#include "fontset/FontSetBuilder.h"

namespace corvelle::cli {
namespace {

int RunBuild(CliContext& context, ArgReader& args) {
  const bool legacy = args.Flag("legacy");
  const std::string output = args.Option("output").value_or("");
  if (!args.Positionals().empty()) args.Fail("build takes no arguments");
  if (args.Failed()) return kExitUsage;

  const std::optional<Profile> profile = ReadProfile(context);
  if (!profile) return kExitFailed;
  const FontSetBuildContext build{*profile, context.programFolder, [&context] { return context.host.Interrupted(); }};
  const Result<BuiltImage> built = legacy ? BuildLegacyFontSet(build, output) : BuildFontSet(build, output);
  if (!built) {
    context.host.Show(built.Failure());
    return kExitFailed;
  }
  std::cout << built->path << '\n';
  return kExitOk;
}

}  // namespace

Command BuildCommand() {
  return {
    "build",
    "build the font set image from the stored selection",
    "Usage: corvelle-cli build [--legacy] [--output PATH]\n"
    "\n"
    "Builds FontSet.SHC from the fonts stored in the profile section \"FontsAggiuntivi\"\n"
    "(keys Font001..Font112), or with --legacy FontSet.SHF for GN1 printers before J2.10\n"
    "(keys Font001..Font008). Without --output the image goes into the program folder, or\n"
    "the per-user data folder when that is not writable.\n"
    "\n"
    "Prints the image's path on success (exit 0). Otherwise prints the message the window\n"
    "would show on stderr and exits 1.\n"
    "\n"
    "Example: corvelle-cli build --output FontSet.SHC\n",
    RunBuild,
  };
}

}  // namespace corvelle::cli
