// SPDX-License-Identifier: MIT
// corvelle-cli download: the window's "Download" button, with the port overridable for one run.
#include <iostream>

#include "base/History.h"
#include "base/Profile.h"
#include "cli/Commands.h"
#include "cli/TerminalHost.h"
#include "download/Download.h"

namespace corvelle::cli {
namespace {

int RunDownload(CliContext& context, ArgReader& args) {
  const bool legacy = args.Flag("legacy");
  const auto port = args.Option("port");
  const auto ip = args.Option("ip");
  const auto ipPort = args.IntOption("ip-port");
  const auto outputs = args.Options("output");
  if (!args.Positionals().empty()) args.Fail("download takes no arguments");
  if (ipPort && (*ipPort < 0 || *ipPort > 65535)) args.Fail("--ip-port must be a number from 0 to 65535");
  if (port && port->empty()) args.Fail("--port needs a port name");
  if (port && !port->empty() && !IsKnownPortName(*port)) args.Fail(UnknownPortText(*port));
  if (args.Failed()) return kExitUsage;

  const std::optional<Profile> stored = ReadProfile(context);
  if (!stored) return kExitFailed;
  const Profile& profile = *stored;
  PortSettings settings = LoadPortSettings(profile);
  if (port) settings.portName = *port;
  if (ip) settings.ipAddress = *ip;
  if (ipPort) settings.ipPort = static_cast<int>(*ipPort);
  context.host.savePaths.assign(outputs.begin(), outputs.end());

  DownloadHistory history("corvelle-cli");
  DownloadJob job{context.host, profile, context.programFolder, settings, DefaultPortEnvironment(profile), legacy, {}};
  job.history = &history;
  job.stopRequested = [&context] { return context.host.Interrupted(); };
  job.onStep = [&context](const DownloadStep& step) {
    if (step.state != DownloadState::Ending) context.host.SetStep(DescribeStep(step));
  };
  switch (BuildAndDownload(job)) {
    case DownloadResult::Completed: return kExitOk;
    case DownloadResult::Cancelled: std::cerr << "Download stopped." << std::endl; break;
    case DownloadResult::Failed: break;
  }
  return kExitFailed;
}

}  // namespace

Command DownloadCommand() {
  return {
    "download",
    "build the font set image and send it to the printer",
    "Usage: corvelle-cli download [--legacy] [--port NAME] [--ip ADDR] [--ip-port N]\n"
    "                             [--output FILE]... [--quiet]\n"
    "\n"
    "Does what the window's \"Download\" button does: builds FontSet.SHC (FontSet.SHF with\n"
    "--legacy) from the selection stored in the profile, then sends it to the printer with\n"
    "the profile's port settings (section \"Impostazione porta\") and device mapping (section\n"
    "\"Devices\", e.g. COM3=/dev/ttyUSB0). The image goes out framed by its announcements,\n"
    "with the printer's pauses (11 s after each announcement, 26 s between the two areas, 11 s\n"
    "at the end): about 22 s for a one-area image (11 + 11), 59 s for two areas\n"
    "(11 + 26 + 11 + 11), plus the sending.\n"
    "\n"
    "  --port NAME     use this port instead of the stored one (COM1: ... COM16:, LPT1:, LPT2:,\n"
    "                  TCP/IP, FILE, USB..., or a serial device such as /dev/ttyUSB0)\n"
    "  --ip ADDR       printer address for TCP/IP instead of the stored one\n"
    "  --ip-port N     printer TCP port instead of the stored one\n"
    "  --output FILE   for the FILE port: the file each open writes, in order (the image opens\n"
    "                  the port 2 or 4 times); an open with no FILE left is cancelled\n"
    "  -q, --quiet     no progress, only the messages\n"
    "\n"
    "Every attempt is recorded in the download history (see 'corvelle-cli history'); a history\n"
    "that cannot be written is said once and changes nothing else.\n"
    "\n"
    "None of the options is stored. Progress goes to stderr (on a terminal, one line that fits\n"
    "its width and counts each pause down); Ctrl-C, SIGTERM and SIGHUP are the STOP button\n"
    "(a second one ends the program at once). Every message the window would show\n"
    "is printed on stderr, with the device, address or file and the system's reason below it.\n"
    "Exits 0 once the download has run to its closing message, 1 when it failed or was stopped\n"
    "(also for an unknown stored port name), 2 for usage errors (an unknown --port name too).\n",
    RunDownload,
  };
}

}  // namespace corvelle::cli
