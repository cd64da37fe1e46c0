// SPDX-License-Identifier: MIT
// The simulator's command line.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvelle::printersim {

inline constexpr int kDefaultPort = 4001;

struct SimOptions {
  bool tcp = true;
  std::string bindAddress = "127.0.0.1";
  int port = kDefaultPort;  // 0: any free port
  bool pty = false;
  std::string logPath;  // "-": stdout
  bool quiet = false;
  std::string storeFolder;
  // The store keeps at most this many images and bytes of this run's images (0: no cap); the
  // oldest are removed to make room for a new one.
  std::uint64_t storeMaxImages = 100;
  std::uint64_t storeMaxBytes = 256ull * 1024 * 1024;
  // A TCP connection that sends nothing for this long is closed (0: never).
  std::int64_t idleTimeoutSeconds = 60;
  std::optional<std::uint64_t> closeAfter;
  bool stall = false;
  std::uint64_t talk = 0;
  int exitAfterImages = 0;  // 0: run until a signal
  // How many TCP printers the process serves, on consecutive ports from `port` (each on a free
  // port of its own when `port` is 0); every one has its own log, store folder and verdicts.
  int printers = 1;
  // The first `refuseFirst` TCP printers refuse every connection for their first
  // `refuseForSeconds`, as a printer still starting up does: their port is bound, but nothing
  // listens on it yet. For one printer of several, 1 when it is one of them.
  int refuseFirst = 0;
  std::int64_t refuseForSeconds = 10;
  // The virtual USB bridge (none without a socket) and its faults.
  std::string usbSocket;
  std::optional<std::uint64_t> usbXoffAfter;
  std::optional<std::int64_t> usbXoffForMs;  // none: XOFF is held until the run ends
  std::optional<std::uint64_t> usbUnplugAfter;
};

struct ParsedOptions {
  enum class Outcome { Run, Help, Error } outcome = Outcome::Run;
  SimOptions options;
  std::string error;
};

ParsedOptions ParseSimOptions(std::vector<std::string> args);
// The options of printer `number` (1-based) of `options.printers`: its port (consecutive from
// the first, or 0 for a free one), its log file (FILE-number before the extension; "-" stays
// stdout) and its store folder (DIR/printer-number).
SimOptions PrinterOptions(const SimOptions& options, int number);
std::string SimHelpText();

}  // namespace corvelle::printersim
