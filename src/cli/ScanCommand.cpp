// SPDX-License-Identifier: MIT
// corvelle-cli scan: which addresses of the ranges the user names answer an ICMP echo or take a
// TCP connection on the printer's port, so that a new site's printers can be found.
#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <iostream>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "base/Ipv4Text.h"
#include "base/StopSignal.h"
#include "cli/Commands.h"
#include "cli/FleetCommand.h"
#include "cli/FleetHost.h"
#include "cli/PollWait.h"
#include "cli/ScanRanges.h"
#include "cli/TerminalHost.h"
#include "ports/PortProbe.h"
#include "ports/echo/EchoProbe.h"

namespace corvelle::cli {
namespace {

constexpr long long kDefaultPort = 4001;
constexpr long long kDefaultScanJobs = 256;
constexpr long long kMaxScanJobs = 1024;
// The connect is given a second; the echo what is left of its own 5 s, so that an address that
// answers nothing costs 5 s in all.
constexpr std::int64_t kConnectLimitMs = 1000;
constexpr std::int64_t kEchoLimitMs = 5000;
// The echo request the port dialog's test sends: time-to-live 10, 32 data bytes.

// The addresses' answers as they come, taken in order by the thread that prints them.
class Answers {
 public:
  explicit Answers(std::size_t count) : m_answers(count) {}

  void Put(std::size_t index, const ScanAnswer& answer) {
    {
      std::lock_guard lock(m_mutex);
      m_answers[index] = answer;
    }
    m_changed.notify_all();
  }
  void EndPuts() {
    {
      std::lock_guard lock(m_mutex);
      m_ended = true;
    }
    m_changed.notify_all();
  }
  // The next answers in address order once they are all in, waiting for the first of them; when
  // the puts have ended, every answer left, those that never came skipped.
  std::vector<ScanAnswer> Take() {
    std::unique_lock lock(m_mutex);
    m_changed.wait(lock, [&] { return m_ended || m_next == m_answers.size() || m_answers[m_next]; });
    std::vector<ScanAnswer> ready;
    for (; m_next < m_answers.size() && (m_answers[m_next] || m_ended); ++m_next) {
      if (m_answers[m_next]) ready.push_back(*m_answers[m_next]);
    }
    return ready;
  }
  bool Done() {
    std::lock_guard lock(m_mutex);
    return m_next == m_answers.size();
  }

 private:
  std::mutex m_mutex;
  std::condition_variable m_changed;
  std::vector<std::optional<ScanAnswer>> m_answers;
  std::size_t m_next = 0;
  bool m_ended = false;
};

struct ScanJob {
  const std::vector<std::uint32_t>& addresses;
  int port = 0;
  const StopSignal& stop;
  FleetStatus& status;  // where a probe's messages go, under the address
  Answers& answers;
  std::atomic<bool>& echoRefused;  // ICMP echo is not permitted for this user
};

// One connect, then one echo, to address `index`; nothing when STOP ends either.
void ProbeAddress(const ScanJob& job, std::size_t index) {
  FleetHost host(job.status, index, job.stop);
  const std::string address = DottedDecimal(job.addresses[index]);
  const std::int64_t start = SteadyNowMs();
  const PortProbeResult port = ProbeTcpPort(host, address, job.port, kConnectLimitMs);
  if (port.answer == PortAnswer::Stopped || job.stop.Raised()) return;
  const auto echoLimit = static_cast<std::uint32_t>(std::max<std::int64_t>(kEchoLimitMs - (SteadyNowMs() - start), 1));
  const auto reply = CEchoProbe(ProbeStopHandle(&job.stop)).Probe(address, EchoProbeOptions::Within(echoLimit));
  const bool echo = static_cast<bool>(reply);
  if (reply.Failure().Stopped()) return;
  if (reply.Failure().system == EACCES) job.echoRefused = true;
  job.answers.Put(index, {job.addresses[index], echo, port.answer == PortAnswer::Accepts});
}

int RunScan(CliContext& context, ArgReader& args) {
  const bool csv = args.Flag("csv");
  const auto port = args.IntOption("port");
  const auto jobs = args.IntOption("jobs");
  const auto ranges = args.Positionals();
  if (port && (*port < 1 || *port > 65535)) args.Fail("--port must be a number from 1 to 65535");
  if (jobs && (*jobs < 1 || *jobs > kMaxScanJobs)) args.Fail("--jobs must be a number from 1 to " + std::to_string(kMaxScanJobs));
  if (ranges.empty()) args.Fail("scan needs a range to scan, such as 192.0.2.0/24");
  if (args.Failed()) return kExitUsage;
  const Result<std::vector<std::uint32_t>> addresses = ScanAddresses(ranges);
  if (!addresses) {
    args.Fail(addresses.Failure().message);
    return kExitUsage;
  }

  const int tcpPort = static_cast<int>(port.value_or(kDefaultPort));
  const StopSignal& stop = *context.host.Stop();
  RaiseOpenFileLimit();
  const int atOnce = PrintersAtOnce(static_cast<int>(jobs.value_or(kDefaultScanJobs)), FreeDescriptors());
  std::vector<std::string> names;
  names.reserve(addresses->size());
  for (const std::uint32_t address : *addresses) names.push_back(DottedDecimal(address) + ":" + std::to_string(tcpPort));
  FleetStatus status(std::move(names), std::cerr, false, [] { return 80; }, true);
  Answers answers(addresses->size());
  std::atomic<bool> echoRefused{false};
  const ScanJob job{*addresses, tcpPort, stop, status, answers, echoRefused};

  std::atomic<std::size_t> next{0};
  std::vector<std::thread> workers;
  const std::size_t threads = std::min<std::size_t>(addresses->size(), static_cast<std::size_t>(atOnce));
  for (std::size_t i = 0; i < threads; ++i) {
    workers.emplace_back([&] {
      for (std::size_t index; !stop.Raised() && (index = next.fetch_add(1)) < job.addresses.size();) {
        ProbeAddress(job, index);
      }
    });
  }
  std::thread ender([&] {
    for (std::thread& worker : workers) worker.join();
    answers.EndPuts();
  });
  if (csv) std::cout << kInventoryHeader;
  while (!answers.Done()) {
    for (const ScanAnswer& answer : answers.Take()) std::cout << (csv ? InventoryRow(answer, tcpPort) : ScanLine(answer, tcpPort));
    std::cout.flush();
  }
  ender.join();
  if (echoRefused) std::cerr << "corvelle-cli: " << kEchoNotPermittedText << "; every address is shown as no echo" << std::endl;
  const int written = FinishOutput("scan");
  if (stop.Raised()) {
    std::cerr << "Scan stopped." << std::endl;
    return kExitFailed;
  }
  return written;
}

}  // namespace

Command ScanCommand() {
  return {"scan",
    "find printers in address ranges: a TCP connect and an ICMP echo to each address",
    "Usage: corvelle-cli scan [--port N] [--jobs N] [--csv] RANGE...\n"
    "\n"
    "Looks for printers in the ranges named, and only there: each RANGE is ADDR/PREFIX\n"
    "(192.0.2.0/24) or one address, at most 65536 addresses (a /16) in all. A range of four\n"
    "addresses or more leaves out its network and broadcast addresses; a /31 is both its\n"
    "addresses, a /32 its one. Each address is tried once: a TCP connection to the port (given\n"
    "up after 1 s, closed at once, nothing sent), then one ICMP echo request as 'ping' sends\n"
    "(waiting what is left of 5 s), so that an address that answers nothing costs 5 s.\n"
    "\n"
    "  --port N   the printers' TCP port (default 4001)\n"
    "  --jobs N   addresses tried at once (1 to 1024, default 256)\n"
    "  --csv      inventory rows instead of lines: a header, then for each address that\n"
    "             answered name and site empty, its address and port, and enabled 1 when the\n"
    "             port took the connection, 0 when only the echo answered\n"
    "\n"
    "Prints, in address order, one line for each address that answered either: ADDR:PORT, a\n"
    "tab, echo or no echo, a tab, open or closed. Addresses that answered neither are not\n"
    "printed. Ctrl-C, SIGTERM and SIGHUP stop the scan: what was found is printed, then\n"
    "\"Scan stopped.\" on stderr, exit 1. Exits 0 once every address has been tried, 2 for\n"
    "usage errors.\n"
    "\n"
    "Example: corvelle-cli scan --port 4001 127.0.0.0/29\n",
    RunScan};
}

}  // namespace corvelle::cli
