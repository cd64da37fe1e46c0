// SPDX-License-Identifier: MIT
// kerv-printer-sim: a substitute KERV printer over TCP, a pseudo-terminal and a virtual USB bridge.
#include <iostream>
#include <string>
#include <string_view>
#include <vector>

#include "base/Paths.h"
#include "base/Version.h"
#include "printer-sim/EventLog.h"
#include "printer-sim/PrinterFleet.h"
#include "printer-sim/SimOptions.h"
#include "printer-sim/Simulator.h"

int main(int argc, char** argv) {
  using namespace corvelle::printersim;
  // --version, and -h as --help, answer before any other option is looked at.
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    if (arg == "--") break;
    if (arg == "--version") {
      std::cout << "kerv-printer-sim " << corvelle::ProgramVersion() << '\n';
      return 0;
    }
    if (arg == "-h") {
      std::cout << SimHelpText();
      return 0;
    }
  }
  const ParsedOptions parsed = ParseSimOptions(std::vector<std::string>(argv + 1, argv + argc));
  if (parsed.outcome == ParsedOptions::Outcome::Help) {
    std::cout << SimHelpText();
    return 0;
  }
  if (parsed.outcome == ParsedOptions::Outcome::Error) {
    std::cerr << "kerv-printer-sim: " << parsed.error << " (see kerv-printer-sim --help)\n";
    return 2;
  }
  const SimOptions& options = parsed.options;
  if (options.printers > 1) return RunPrinterFleet(options);
  EventLog log;
  std::string error;
  if (!log.Open(options.logPath, options.quiet, &error)) {
    std::cerr << "kerv-printer-sim: " << error << '\n';
    return 1;
  }
  if (!options.storeFolder.empty() && !corvelle::MakeFolders(options.storeFolder)) {
    std::cerr << "kerv-printer-sim: cannot create the store folder " << options.storeFolder << '\n';
    return 1;
  }
  Simulator simulator(options, log);
  if (!simulator.Start(&error)) {
    std::cerr << "kerv-printer-sim: " << error << '\n';
    return 1;
  }
  return simulator.Run();
}
