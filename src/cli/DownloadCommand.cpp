// SPDX-License-Identifier: MIT
// corvelle-cli download: the window's "Download" button, with the port overridable for one run.
#include <algorithm>
#include <charconv>
#include <iostream>
#include <optional>

#include "base/History.h"
#include "base/Profile.h"
#include "cli/Commands.h"
#include "cli/DownloadReport.h"
#include "cli/FleetCommand.h"
#include "cli/FleetGroups.h"
#include "cli/Inventory.h"
#include "cli/PollWait.h"
#include "cli/TerminalHost.h"
#include "download/Download.h"

namespace corvelle::cli {
namespace {

constexpr int kStoredPort = -1;

// --retry-wait: seconds, fractions allowed, from 0 to the longest wait; nullopt otherwise.
std::optional<std::int64_t> RetryWaitFromText(const std::string& text) {
  double seconds = -1;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || !(seconds >= 0) ||
      seconds * 1000 > static_cast<double>(kMaxRetryWaitMs)) {
    return std::nullopt;
  }
  return static_cast<std::int64_t>(seconds * 1000 + 0.5);
}

// With --json: the run's report on stdout; the exit status is the download's unless the report
// cannot be written.
int Reported(int code, const std::vector<PrinterReport>& reports) {
  std::cout << ReportDocument(reports);
  const int written = FinishOutput("report");
  return code != kExitOk ? code : written;
}

int RunDownload(CliContext& context, ArgReader& args) {
  const bool legacy = args.Flag("legacy");
  const bool json = args.Flag("json");
  const bool wait = args.Flag("wait");
  const bool noEchoTest = args.Flag("no-echo-test");
  const auto port = PortOption(args);
  // Targets from --ip and from --ip-list files, in the order the options came.
  const auto targetOptions = args.OptionsInOrder({"ip", "ip-list"});
  const auto ipPort = args.IntOption("ip-port");
  const auto jobs = args.IntOption("jobs");
  const auto outputs = args.Options("output");
  const auto inventory = args.Option("inventory");
  const InventoryPick pick{args.Options("site"), args.Options("name")};
  const auto retries = args.IntOption("retry");
  const auto retryWait = args.Option("retry-wait");
  const bool onlyFailed = args.Flag("only-failed");
  if (!args.Positionals().empty()) args.Fail("download takes no arguments");
  if (ipPort && (*ipPort < 0 || *ipPort > 65535)) args.Fail("--ip-port must be a number from 0 to 65535");
  if (jobs && (*jobs < 1 || *jobs > kMaxJobs)) args.Fail("--jobs must be a number from 1 to " + std::to_string(kMaxJobs));
  if (port && port->empty()) args.Fail("--port needs a port name");
  if (port && !port->empty() && !IsKnownPortName(*port)) args.Fail(UnknownPortText(*port));
  // A printer named on the command line is the printer served, over TCP/IP: nothing else may
  // take its place.
  const bool named = !targetOptions.empty() || inventory;
  if (named && port && !port->empty() && KindFromName(*port) != PortKind::TcpIp) {
    args.Fail("--port " + *port + ": printers named by --ip or --ip-list are served over TCP/IP");
  }
  if (named && !outputs.empty()) args.Fail("--output is for the FILE port, not for printers named by --ip or --ip-list");
  if (!inventory && !(pick.sites.empty() && pick.names.empty())) args.Fail("--site and --name pick rows of an --inventory");
  if (retries && (*retries < 0 || *retries > kMaxRetries)) args.Fail("--retry must be a number from 0 to 10");
  if ((retries || retryWait) && !named) args.Fail("--retry and --retry-wait are for printers named by --ip, --ip-list or --inventory");
  const std::optional<std::int64_t> retryWaitMs = retryWait ? RetryWaitFromText(*retryWait) : kDefaultRetryWaitMs;
  if (!retryWaitMs) args.Fail("--retry-wait must be a number of seconds from 0 to 600");
  const bool anyList = std::any_of(targetOptions.begin(), targetOptions.end(), [](const auto& o) { return o.first == "ip-list"; });
  if (onlyFailed && !anyList) args.Fail("--only-failed reads the result lines of an --ip-list");
  // Targets without a port of their own take it later, from --ip-port or the profile.
  std::vector<FleetTarget> targets;
  bool everyListOk = anyList;  // with --only-failed: every list held only printers that were ok
  for (const auto& [option, value] : targetOptions) {
    bool skipped = false;
    if (option == "ip") {
      if (const Result<FleetTarget> target = ParseTarget(value, kStoredPort)) targets.push_back(*target);
      else args.Fail("--ip " + target.Failure().message);
    } else if (!args.Failed()) {
      const Result<std::vector<FleetTarget>> listed =
          ReadTargetList(value, kStoredPort, context.host.Stop(), onlyFailed, &skipped);
      if (listed) targets.insert(targets.end(), listed->begin(), listed->end());
      else args.Fail(listed.Failure().message);
    }
    everyListOk = everyListOk && (option != "ip-list" || skipped);
  }
  std::vector<InventoryRow> rows;
  if (inventory && !args.Failed()) {
    Result<std::vector<InventoryRow>> read = ReadInventory(*inventory, kStoredPort, pick, context.host.Stop());
    if (read) {
      rows = std::move(*read);
    } else {
      args.Fail(read.Failure().message);
    }
  }
  if (args.Failed()) return kExitUsage;
  if (onlyFailed && targets.empty() && everyListOk) {
    std::cerr << "corvelle-cli: every printer of the list was ok: nothing to download again" << std::endl;
    return kExitOk;
  }

  const std::optional<Profile> stored = ReadProfile(context);
  if (!stored) return json ? Reported(kExitFailed, {}) : kExitFailed;
  const Profile& profile = *stored;
  PortSettings settings = LoadPortSettings(profile);
  if (port) settings.portName = *port;
  if (named) settings.portName = "TCP/IP";
  if (ipPort) settings.ipPort = static_cast<int>(*ipPort);
  if (noEchoTest) settings.echoTest = 0;
  // Repeats are found once every target has its port and its address as a number: "127.1",
  // "127.0.0.1:PORT" with the stored port and a name of that address are one printer, which
  // must not get two downloads at once.
  FleetJob fleet;
  fleet.groups.front().legacy = legacy;
  // With an inventory its rows are the printers; --ip and --ip-list then pick among them.
  std::vector<FleetTarget> picks;
  if (inventory) {
    picks = std::move(targets);
    targets.clear();
    if (const Outcome grouped = GroupInventory(rows, legacy, context.programFolder, targets, fleet.groups); !grouped) {
      args.Fail(grouped.message);
      return kExitUsage;
    }
    fleet.labelled = true;
  }
  for (std::vector<FleetTarget>* list : {&targets, &picks}) {
    for (FleetTarget& target : *list) {
      if (target.port == kStoredPort) target.port = settings.ipPort;
    }
    ResolveTargets(*list, LookUpIPv4);
  }
  if (inventory) {
    std::string error = RepeatedPrinter(targets);
    if (error.empty() && !picks.empty()) {
      if (const Outcome kept = KeepPicked(targets, picks, *inventory); !kept) {
        error = "--ip and --ip-list pick printers of the inventory: " + kept.message;
      }
    }
    if (!error.empty()) {
      args.Fail(error);
      return kExitUsage;
    }
  }
  targets = WithoutRepeats(targets);
  // An inventory and retries report each printer on a result line, one printer too.
  if (targets.size() > 1 || (!targets.empty() && (inventory || retries.value_or(0) > 0))) {
    fleet.targets = std::move(targets);
    fleet.jobs = static_cast<int>(jobs.value_or(DefaultJobs(fleet.targets.size())));
    fleet.settings = settings;
    fleet.environment = DefaultPortEnvironment(profile);
    fleet.retries = static_cast<int>(retries.value_or(0));
    fleet.retryWaitMs = *retryWaitMs;
    fleet.waitForPrinter = wait;
    return RunFleetDownload(context, profile, std::move(fleet), json);
  }
  if (!targets.empty()) {
    settings.ipAddress = targets.front().ServedAddress();
    settings.ipPort = targets.front().port;
  }
  context.host.savePaths.assign(outputs.begin(), outputs.end());

  DownloadHistory history("corvelle-cli");
  // The attempt's report is its record, timed as it is recorded, with the detail of the attempt's
  // last message, whatever is said after it.
  std::optional<DownloadRecord> record;
  double seconds = 0;
  const std::int64_t start = SteadyNowMs();
  if (json) {
    history.onAppend = [&](const DownloadRecord& appended) {
      record = appended;
      seconds = static_cast<double>(SteadyNowMs() - start) / 1000;
    };
  }
  DownloadJob job{context.host, profile, context.programFolder, settings, DefaultPortEnvironment(profile), legacy, {}};
  job.history = &history;
  job.waitForPrinter = wait;
  // Without an output file a FILE download would end at its first open.
  if (KindFromName(settings.portName) == PortKind::File && outputs.empty()) job.refusal = kFileNeedsOutput;
  job.onStep = [&context](const DownloadStep& step) {
    if (step.state != DownloadState::Ending) context.host.SetStep(DescribeStep(step));
  };
  int code = kExitFailed;
  const DownloadEnd end = BuildAndDownload(job);
  switch (end.result) {
    case DownloadResult::Completed: code = kExitOk; break;
    case DownloadResult::Cancelled: std::cerr << kDownloadStoppedText << std::endl; break;
    case DownloadResult::Failed: break;
  }
  if (!json) return code;
  std::vector<PrinterReport> reports;
  if (record) reports.push_back(ReportOf(*record, end.attempt.detail, seconds));
  return Reported(code, reports);
}

}  // namespace

Command DownloadCommand() {
  return {
    "download",
    "build the font set image and send it to the printer",
    "Usage: corvelle-cli download [--legacy] [--port NAME] [--ip ADDR[:PORT]]... [--ip-port N]\n"
    "                             [--ip-list FILE]... [--jobs N] [--output FILE]... [--wait]\n"
    "                             [--quiet] [--no-echo-test] [--json] [--inventory FILE [--site S]...\n"
    "                             [--name N]...] [--retry N] [--retry-wait SECONDS]\n"
    "                             [--only-failed]\n"
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
    "  --jobs N        with several printers, how many are served at once (1 to 1024; default\n"
    "                  every printer given, up to 256); more printers take rounds, said on stderr\n"
    "  --inventory FILE  the printers of a CSV file (see below)\n"
    "  --site S, --name N  only the inventory's rows whose site (name) matches S (N); each may\n"
    "                  be given more than once, * and ? are wildcards, letters match in any case\n"
    "  --retry N       try a printer again up to N times (0 to 10, default 0) when its download\n"
    "                  failed for a cause that may pass (see below)\n"
    "  --retry-wait SECONDS  the wait before the first retry (0 to 600, fractions allowed,\n"
    "                  default 30), doubled before each further one, at most 600\n"
    "  --only-failed   of the result lines an --ip-list holds, only those that are not ok\n"
    "  --output FILE   for the FILE port: the file each open writes, in order (the image opens\n"
    "                  the port 2 or 4 times); an open with no FILE left ends the download, saying\n"
    "                  so, and the FILE port without any --output fails before anything is built\n"
    "  --wait          wait for a printer that another download is using, instead of failing it\n"
    "  -q, --quiet     no progress, only the messages\n"
    "  --json          at the end, one JSON document on stdout instead of the result lines:\n"
    "                  {\"result\": ok|stopped|failed, \"printers\": [...]}, each printer with its\n"
    "                  target, port, result, message (the last one shown), detail (the lines\n"
    "                  below it), bytes (image bytes sent), sha256 (their digest, null when none\n"
    "                  was sent) and seconds; the run is ok when every printer is, failed when\n"
    "                  any failed, else stopped. The exit status is the same as without it\n"
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
    "ok). Exits 0 when every printer is ok, 1 when any is not, 2 for usage errors.\n"
    "\n"
    "An --ip-list may hold the result lines of an earlier run (the first tab-separated field\n"
    "is the target): with --only-failed the lines whose second field is ok are skipped, so\n"
    "'download ... > run.txt; download --ip-list run.txt --only-failed' runs the failures\n"
    "again (a list with nothing but ok lines then does nothing and exits 0).\n"
    "\n"
    "Inventory: a CSV file as spreadsheets export it (commas, fields in double quotes, CR LF\n"
    "or LF), its header row naming the columns, in any order and case; other columns are\n"
    "ignored. name, site: how results and the history name the row; address: ADDR[:PORT];\n"
    "port: the TCP port of an address without one; selection: a .kvf file (relative to the\n"
    "inventory's folder) read as 'selection load' reads it, without storing it (empty: the\n"
    "stored selection); legacy: 1 for a GN1 printer before J2.10, 0 for not, empty for\n"
    "--legacy; enabled: 0 leaves the row out. Each distinct selection and legacy pair is\n"
    "built once; a selection that cannot be built fails its printers with its message and\n"
    "the others are served. A row without an address, a .kvf that cannot be read and a\n"
    "printer named twice are usage errors naming FILE:LINE, before anything is sent. With\n"
    "--inventory, --ip and --ip-list pick the inventory's printers instead of adding others\n"
    "(--inventory FILE --ip-list run.txt --only-failed: the failures with their own\n"
    "selections). Inventory result lines end in two more fields, a tab and the name, a tab\n"
    "and the site, and the history records the name, site, .kvf and its SHA-256.\n"
    "\n"
    "Retries: no echo reply, a connect that failed (refused, timed out, no route) and a\n"
    "connection lost while sending (reset, closed, the slow-link time-out) may pass; the\n"
    "printer is downloaded again from its first announcement after the wait. Nothing else\n"
    "is tried again (a printer another download holds, an image too large or not built, a\n"
    "file that cannot be read). Each attempt is a history record; after more than one the\n"
    "result word says so: 'ok (attempt 2 of 3)'. Ctrl-C ends a wait at once. With --retry\n"
    "or --inventory even one printer is reported on a result line.\n"
    "\n"
    "Example: corvelle-cli download --ip 127.0.0.1:4001 --no-echo-test\n",
    RunDownload,
  };
}

}  // namespace corvelle::cli
