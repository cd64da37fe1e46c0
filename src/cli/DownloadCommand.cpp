// SPDX-License-Identifier: MIT
// corvelle-cli download: the window's "Download" button, with the port overridable for one run.
#include <iostream>

#include "base/History.h"
#include "base/Profile.h"
#include "cli/Commands.h"
#include "cli/FleetCommand.h"
#include "cli/TerminalHost.h"
#include "download/Download.h"

namespace corvelle::cli {
namespace {

constexpr int kStoredPort = -1;
constexpr long long kDefaultJobs = 32;
constexpr long long kMaxJobs = 256;

int RunDownload(CliContext& context, ArgReader& args) {
  const bool legacy = args.Flag("legacy");
  const bool wait = args.Flag("wait");
  const bool noEchoTest = args.Flag("no-echo-test");
  const auto port = PortOption(args);
  // Targets from --ip and from --ip-list files, in the order the options came.
  const auto targetOptions = args.OptionsInOrder({"ip", "ip-list"});
  const auto ipPort = args.IntOption("ip-port");
  const auto jobs = args.IntOption("jobs");
  const auto outputs = args.Options("output");
  if (!args.Positionals().empty()) args.Fail("download takes no arguments");
  if (ipPort && (*ipPort < 0 || *ipPort > 65535)) args.Fail("--ip-port must be a number from 0 to 65535");
  if (jobs && (*jobs < 1 || *jobs > kMaxJobs)) args.Fail("--jobs must be a number from 1 to 256");
  if (port && port->empty()) args.Fail("--port needs a port name");
  if (port && !port->empty() && !IsKnownPortName(*port)) args.Fail(UnknownPortText(*port));
  // A printer named on the command line is the printer served, over TCP/IP: nothing else may
  // take its place.
  const bool named = !targetOptions.empty();
  if (named && port && !port->empty() && KindFromName(*port) != PortKind::TcpIp) {
    args.Fail("--port " + *port + ": printers named by --ip or --ip-list are served over TCP/IP");
  }
  if (named && !outputs.empty()) args.Fail("--output is for the FILE port, not for printers named by --ip or --ip-list");
  // Targets without a port of their own take it later, from --ip-port or the profile.
  std::vector<FleetTarget> targets;
  for (const auto& [option, value] : targetOptions) {
    std::string error;
    if (option == "ip") {
      if (const auto target = ParseTarget(value, kStoredPort, error)) targets.push_back(*target);
      else args.Fail("--ip " + error);
    } else if (!args.Failed() && !ReadTargetList(value, kStoredPort, context.host.Stop(), targets, error)) {
      args.Fail(error);
    }
  }
  if (args.Failed()) return kExitUsage;

  const std::optional<Profile> stored = ReadProfile(context);
  if (!stored) return kExitFailed;
  const Profile& profile = *stored;
  PortSettings settings = LoadPortSettings(profile);
  if (port) settings.portName = *port;
  if (named) settings.portName = "TCP/IP";
  if (ipPort) settings.ipPort = static_cast<int>(*ipPort);
  if (noEchoTest) settings.echoTest = 0;
  // Repeats are found once every target has its port and its address as a number: "127.1",
  // "127.0.0.1:PORT" with the stored port and a name of that address are one printer, which
  // must not get two downloads at once.
  for (FleetTarget& target : targets) {
    if (target.port == kStoredPort) target.port = settings.ipPort;
  }
  ResolveTargets(targets, LookUpIPv4);
  targets = WithoutRepeats(targets);
  if (targets.size() > 1) {
    return RunFleetDownload(context, profile,
                            {targets, static_cast<int>(jobs.value_or(kDefaultJobs)), settings,
                             DefaultPortEnvironment(profile), legacy, {}, nullptr, nullptr, nullptr, nullptr, wait});
  }
  if (!targets.empty()) {
    settings.ipAddress = targets.front().ServedAddress();
    settings.ipPort = targets.front().port;
  }
  context.host.savePaths.assign(outputs.begin(), outputs.end());

  DownloadHistory history("corvelle-cli");
  DownloadJob job{context.host, profile, context.programFolder, settings, DefaultPortEnvironment(profile), legacy, {}};
  job.history = &history;
  job.waitForPrinter = wait;
  // Without an output file a FILE download would end at its first open.
  if (KindFromName(settings.portName) == PortKind::File && outputs.empty()) job.refusal = kFileNeedsOutput;
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
    "Usage: corvelle-cli download [--legacy] [--port NAME] [--ip ADDR[:PORT]]... [--ip-port N]\n"
    "                             [--ip-list FILE]... [--jobs N] [--output FILE]... [--wait]\n"
    "                             [--quiet] [--no-echo-test]\n"
    "\n"
    "Does what the window's \"Download\" button does: builds FontSet.SHC (FontSet.SHF with\n"
    "--legacy) from the selection stored in the profile, then sends it to the printer with\n"
#ifdef _WIN32
    "the profile's port settings (section \"Impostazione porta\"): COMn is the system's port\n"
    "COMn and LPTn its LPTn. The image goes out framed by its announcements,\n"
#else
    "the profile's port settings (section \"Impostazione porta\") and device mapping (section\n"
    "\"Devices\", e.g. COM3=/dev/ttyUSB0). The image goes out framed by its announcements,\n"
#endif
    "with the printer's pauses (11 s after each announcement, 26 s between the two areas, 11 s\n"
    "at the end): about 22 s for a one-area image (11 + 11), 59 s for two areas\n"
    "(11 + 26 + 11 + 11), plus the sending.\n"
    "\n"
#ifdef _WIN32
    "  --port NAME     use this port instead of the stored one (COM1: ... COM16:, LPT1:, LPT2:,\n"
    "                  TCP/IP, FILE or USB...; in any case, with or without the colon, and as\n"
    "                  \\\\.\\COM3 too; a COM port above 16 by its number, e.g. COM17)\n"
#else
    "  --port NAME     use this port instead of the stored one (COM1: ... COM16:, LPT1:, LPT2:,\n"
    "                  TCP/IP, FILE, USB..., or a serial device such as /dev/ttyUSB0)\n"
#endif
    "  --ip ADDR[:PORT]  printer address (and port) instead of the stored one: the port is TCP/IP\n"
    "                  whatever is stored (another --port, or --output, is a usage error); given\n"
    "                  more than once, every printer named is served (see below). IPv4 only: an\n"
    "                  address in any form inet_aton reads (127.1) or a host name\n"
    "  --ip-port N     printer TCP port instead of the stored one (for addresses without :PORT)\n"
    "  --no-echo-test  connect without asking for an ICMP echo first (where ICMP is dropped)\n"
    "  --ip-list FILE  more printers, one ADDR[:PORT] a line (blank lines and lines starting\n"
    "                  with # are ignored); a list that names no printer is a usage error\n"
    "  --jobs N        with several printers, how many are served at once (1 to 256, default 32)\n"
    "  --output FILE   for the FILE port: the file each open writes, in order (the image opens\n"
    "                  the port 2 or 4 times); an open with no FILE left ends the download, saying\n"
    "                  so, and the FILE port without any --output fails before anything is built\n"
    "  --wait          wait for a printer that another download is using, instead of failing it\n"
    "  -q, --quiet     no progress, only the messages\n"
    "\n"
    "One printer takes one download at a time, from this program, the window or another run:\n"
    "a download holds its printer (the address and port, the device, the USB bridge or the\n"
    "output file) until the printer has it. A printer that another download holds fails at\n"
    "once, before anything is sent, with a message naming the program and process holding it;\n"
    "with --wait the download waits for it (Ctrl-C ends the wait).\n"
    "\n"
    "Every attempt is recorded in the download history (see 'corvelle-cli history'); a history\n"
    "that cannot be written is said once and changes nothing else.\n"
    "\n"
    "None of the options is stored. Progress goes to stderr (on a terminal, one line that fits\n"
#ifdef _WIN32
    "its width and counts each pause down); Ctrl-C, Ctrl-Break and closing the console are the\n"
    "STOP button (a second one ends the program at once). Every message the window would show\n"
#else
    "its width and counts each pause down); Ctrl-C, SIGTERM and SIGHUP are the STOP button\n"
    "(a second one ends the program at once). Every message the window would show\n"
#endif
    "is printed on stderr, with the device, address or file and the system's reason below it.\n"
    "Exits 0 once the download has run to its closing message, 1 when it failed or was stopped\n"
    "(also for an unknown stored port name), 2 for usage errors (an unknown --port name too).\n"
    "\n"
    "Several printers: with two or more targets (in the order given, each printer served once:\n"
    "127.0.0.1:4001, 127.1:4001 and a name of that address are one, reported under the first\n"
    "spelling; a name is looked up once) the port is TCP/IP (a target that is not ADDR[:PORT] and\n"
    "a list that cannot be read are usage errors). The image is built once and every\n"
    "printer gets the whole download a single one gets, side by side, so the run takes about as\n"
    "long as one printer's. Messages on stderr start with the target (\"127.0.0.1:4001: ...\"); on\n"
    "a terminal one line counts the printers announcing, pausing, sending, done and failed, with\n"
    "the longest pause left; otherwise each printer's state changes are lines of their own.\n"
    "Ctrl-C stops every printer still running. At the end stdout has one line per target:\n"
    "ADDR:PORT, a tab, ok, stopped or failed, a tab and the printer's last message (empty for\n"
    "ok). Exits 0 when every printer is ok, 1 when any is not, 2 for usage errors.\n",
    RunDownload,
  };
}

}  // namespace corvelle::cli
