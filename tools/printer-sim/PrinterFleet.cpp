// SPDX-License-Identifier: MIT
// Serving several substitute printers from one process.
#include "printer-sim/PrinterFleet.h"

#include <sys/resource.h>

#include <iostream>
#include <memory>
#include <thread>
#include <vector>

#include "base/Paths.h"
#include "printer-sim/EventLog.h"
#include "printer-sim/Simulator.h"

namespace corvelle::printersim {
namespace {

struct Printer {
  SimOptions options;
  EventLog log;
  std::unique_ptr<Simulator> simulator;
};

}  // namespace

int RunPrinterFleet(const SimOptions& options) {
  // A listener, a connection or two and a log each: hundreds of printers need more descriptors
  // than the usual soft limit of 1024.
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
  // The threads start with SIGINT and SIGTERM blocked (Open blocked them here); each takes them
  // only while it waits.
  std::vector<std::thread> threads;
  threads.reserve(printers.size());
  for (const auto& printer : printers) threads.emplace_back([&simulator = *printer->simulator] { simulator.Run(); });
  for (std::thread& thread : threads) thread.join();
  return 0;
}

}  // namespace corvelle::printersim
