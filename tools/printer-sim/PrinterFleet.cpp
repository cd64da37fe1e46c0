// SPDX-License-Identifier: MIT
// Serving several substitute printers from one process.
#include "printer-sim/PrinterFleet.h"

#include <sys/resource.h>

#include <filesystem>
#include <iostream>
#include <memory>
#include <optional>
#include <system_error>
#include <vector>

#include "base/Paths.h"
#include "printer-sim/EventLog.h"
#include "printer-sim/Simulator.h"

namespace corvelle::printersim {
namespace {

// Left free below the open-file limit while connections come and go: a log record or a stored
// image opens a file, and the standard streams stay.
constexpr std::size_t kSpareDescriptors = 8;

// How many connections all printers may hold at once: what the open-file limit leaves once the
// listeners and the rest are open (those stay for the whole run). None without a limit.
std::optional<std::size_t> ConnectionsAllowed() {
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) != 0 || files.rlim_cur == RLIM_INFINITY) return std::nullopt;
  std::error_code error;
  std::size_t open = 0;
  for (auto it = std::filesystem::directory_iterator("/proc/self/fd", error); !error && it != std::filesystem::directory_iterator();
       it.increment(error)) {
    ++open;
  }
  if (open == 0) return std::nullopt;
  const std::size_t used = open - 1 + kSpareDescriptors;  // less the listing's own descriptor
  // One at least, so that a limit met at start-up still serves, if slowly.
  return files.rlim_cur > used ? static_cast<std::size_t>(files.rlim_cur) - used : 1;
}

struct Printer {
  SimOptions options;
  EventLog log;
  std::unique_ptr<Simulator> simulator;
};

}  // namespace

int RunPrinterFleet(const SimOptions& options) {
  // A listener each, and a connection each while served: hundreds of printers need more
  // descriptors than the usual soft limit of 1024.
  rlimit files{};
  if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
    files.rlim_cur = files.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &files);
  }
  std::vector<std::unique_ptr<Printer>> printers;
  for (int number = 1; number <= options.printers; ++number) {
    auto printer = std::make_unique<Printer>();
    printer->options = PrinterOptions(options, number);
    std::string error;
    if (!printer->log.Open(printer->options.logPath, printer->options.quiet, &error)) {
      std::cerr << "kerv-printer-sim: " << error << '\n';
      return 1;
    }
    printer->log.SetPrinter(number);
    printer->log.CloseBetweenRecords();
    if (!printer->options.storeFolder.empty() && !MakeFolders(printer->options.storeFolder)) {
      std::cerr << "kerv-printer-sim: cannot create the store folder " << printer->options.storeFolder << '\n';
      return 1;
    }
    printer->simulator = std::make_unique<Simulator>(printer->options, printer->log);
    if (!printer->simulator->Open(&error)) {
      std::cerr << "kerv-printer-sim: printer " << number << ": " << error << '\n';
      return 1;
    }
    printers.push_back(std::move(printer));
  }
  for (const auto& printer : printers) printer->simulator->PrintAddresses();
  for (const auto& printer : printers) printer->simulator->LogListening();
  // One thread waits for every printer: no stack, buffer or descriptor per printer beyond its
  // listener and the connections it is served on.
  std::vector<Simulator*> simulators;
  simulators.reserve(printers.size());
  for (const auto& printer : printers) simulators.push_back(printer->simulator.get());
  RunSimulators(simulators, ConnectionsAllowed());
  return 0;
}

}  // namespace corvelle::printersim
