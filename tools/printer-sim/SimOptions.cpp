// SPDX-License-Identifier: MIT
// Reading the simulator's command line, its help text, and the options of each of several printers.
#include "printer-sim/SimOptions.h"

#include <limits>

#include "base/Paths.h"
#include "cli/ArgReader.h"

namespace corvelle::printersim {
namespace {

// A whole number within [low, high], or an error in `reader`.
std::optional<long long> Bounded(cli::ArgReader& reader, const char* name, long long low, long long high) {
  const auto value = reader.IntOption(name);
  if (value && (*value < low || *value > high)) {
    reader.Fail("option --" + std::string(name) + " takes " + std::to_string(low) + " to " + std::to_string(high));
    return std::nullopt;
  }
  return value;
}

// A listener each, all served from one thread; a few more than a test or benchmark asks for.
constexpr long long kMaxPrinters = 1024;

// "sim.jsonl" -> "sim-3.jsonl"; a name without an extension gets the suffix at its end.
std::string NumberedLog(const std::string& path, int number) {
  const std::size_t slash = path.rfind('/');
  const std::size_t dot = path.rfind('.');
  const bool extension = dot != std::string::npos && dot > 0 && (slash == std::string::npos || dot > slash + 1);
  const std::size_t at = extension ? dot : path.size();
  return path.substr(0, at) + "-" + std::to_string(number) + path.substr(at);
}

}  // namespace

SimOptions PrinterOptions(const SimOptions& options, int number) {
  SimOptions own = options;
  own.printers = 1;
  own.refuseFirst = number <= options.refuseFirst ? 1 : 0;
  if (options.port != 0) own.port = options.port + number - 1;
  if (!options.logPath.empty() && options.logPath != "-") own.logPath = NumberedLog(options.logPath, number);
  if (!options.storeFolder.empty()) own.storeFolder = JoinPath(options.storeFolder, "printer-" + std::to_string(number));
  return own;
}

ParsedOptions ParseSimOptions(std::vector<std::string> args) {
  ParsedOptions parsed;
  cli::ArgReader reader(std::move(args));
  if (reader.Flag("help")) {
    parsed.outcome = ParsedOptions::Outcome::Help;
    return parsed;
  }
  SimOptions& options = parsed.options;
  constexpr long long kMaxCount = std::numeric_limits<std::int64_t>::max();
  const bool tcpAsked = reader.Flag("tcp");
  const auto bind = reader.Option("bind");
  const auto port = Bounded(reader, "port", 0, 65535);
  options.pty = reader.Flag("pty");
  options.usbSocket = reader.Option("usb").value_or("");
  // The TCP listener stays on unless only the pseudo-terminal or the USB bridge is asked for.
  options.tcp = (!options.pty && options.usbSocket.empty()) || tcpAsked || bind || port;
  if (bind) options.bindAddress = *bind;
  if (port) options.port = static_cast<int>(*port);
  options.logPath = reader.Option("log").value_or("");
  options.quiet = reader.Flag("quiet");
  options.storeFolder = reader.Option("store").value_or("");
  if (const auto count = Bounded(reader, "store-max-images", 0, kMaxCount)) {
    options.storeMaxImages = static_cast<std::uint64_t>(*count);
  }
  if (const auto bytes = Bounded(reader, "store-max-bytes", 0, kMaxCount)) {
    options.storeMaxBytes = static_cast<std::uint64_t>(*bytes);
  }
  // A day at most, so that the deadline in milliseconds never overflows.
  if (const auto seconds = Bounded(reader, "idle-timeout", 0, 86400)) options.idleTimeoutSeconds = *seconds;
  if (const auto bytes = Bounded(reader, "close-after", 0, kMaxCount)) options.closeAfter = *bytes;
  options.stall = reader.Flag("stall");
  if (const auto bytes = Bounded(reader, "talk", 0, kMaxCount)) options.talk = static_cast<std::uint64_t>(*bytes);
  if (const auto count = Bounded(reader, "exit-after-images", 1, std::numeric_limits<int>::max())) {
    options.exitAfterImages = static_cast<int>(*count);
  }
  if (const auto bytes = Bounded(reader, "usb-xoff-after", 0, kMaxCount)) options.usbXoffAfter = *bytes;
  if (const auto ms = Bounded(reader, "usb-xoff-for", 0, kMaxCount)) options.usbXoffForMs = *ms;
  if (const auto bytes = Bounded(reader, "usb-unplug-after", 0, kMaxCount)) options.usbUnplugAfter = *bytes;
  if (const auto count = Bounded(reader, "printers", 1, kMaxPrinters)) options.printers = static_cast<int>(*count);
  if (const auto count = Bounded(reader, "refuse-first", 1, kMaxPrinters)) options.refuseFirst = static_cast<int>(*count);
  if (const auto seconds = Bounded(reader, "refuse-for", 1, 86400)) {
    options.refuseForSeconds = *seconds;
    if (options.refuseFirst == 0) reader.Fail("--refuse-for needs --refuse-first");
  }
  if (options.refuseFirst > options.printers) {
    reader.Fail("--refuse-first " + std::to_string(options.refuseFirst) + " is more than the " +
                std::to_string(options.printers) + " printer(s) served");
  }
  if (options.refuseFirst > 0 && !options.tcp) reader.Fail("--refuse-first is for TCP printers");
  if (options.printers > 1 && (options.pty || !options.usbSocket.empty())) {
    reader.Fail("--printers serves TCP printers only (no --pty or --usb)");
  }
  if (options.printers > 1 && options.port != 0 && options.port + options.printers - 1 > 65535) {
    reader.Fail("--printers " + std::to_string(options.printers) + " from port " + std::to_string(options.port) +
                " goes past port 65535");
  }
  if (options.usbSocket.empty() && (options.usbXoffAfter || options.usbXoffForMs || options.usbUnplugAfter)) {
    reader.Fail("the --usb-... options need --usb SOCKET");
  }
  if (options.usbXoffForMs && !options.usbXoffAfter) reader.Fail("--usb-xoff-for needs --usb-xoff-after");
  if (const auto words = reader.Positionals(); !words.empty() && !reader.Failed()) {
    reader.Fail("unexpected argument '" + words.front() + "'");
  }
  if (reader.Failed()) {
    parsed.outcome = ParsedOptions::Outcome::Error;
    parsed.error = reader.Error();
  }
  return parsed;
}

std::string SimHelpText() {
  return R"(Usage: kerv-printer-sim [OPTIONS]

A substitute KERV printer for trying Corvelle without one. It takes the font download
("?Z:&N" + 0x0A, then N bytes of area 1; "?Z;&N" + 0x0A, then area 2) and the serial
set-up command ("?A7&s,p,d,b" + 0x0D 0x0A), puts the areas together into images, checks
each image against its own header and logs what it received.

Over TCP every announcement comes on a connection of its own and the area's data on the
next connection that carries bytes; connections are served one after another (one that
opens while another is served waits its turn, unless the one served has sent nothing
yet: then the first that sends is served). On the pseudo-terminal the data follows its
announcement directly.

Transports (the first lines on stdout name them, then stdout is flushed):
  --port N        listen for TCP on port N (default 4001; 0 picks a free port).
                  Prints "tcp ADDRESS:PORT".
  --bind ADDR     numeric address to listen on (default 127.0.0.1, loopback only)
  --pty           open a pseudo-terminal, set it raw and print "pty /dev/pts/N": give
                  that path to Corvelle as a device, e.g. COM3=/dev/pts/N in the
                  profile section "Devices". With --pty alone there is no TCP listener;
                  add --tcp (or --port/--bind) for both.
  --usb SOCKET    a virtual USB bridge: listen on the Unix socket SOCKET for the stand-in
                  libusb-1.0 (built in usb-standin/), which a client finds through
                  KERV_USB_SIM=SOCKET. Its bytes are read as the pseudo-terminal's are.
                  Prints "usb SOCKET". Without --tcp (or --port/--bind) no TCP listener.
  --tcp           keep the TCP listener when --pty or --usb is given
  --printers N    serve N TCP printers (1 to 1024) from this one process, on consecutive
                  ports from --port (with --port 0 each on a free port of its own).
                  Each prints its "tcp ADDRESS:PORT" line and has its own log (FILE
                  becomes FILE-1, FILE-2, ... before its extension; with "-" every
                  record carries "printer": 1, 2, ...), its own store folder
                  (DIR/printer-1, ...) and its own verdicts. Not with --pty or --usb.

Log:
  --log FILE      JSON lines, one object per event, flushed per line ("-": stdout)
  --quiet         no human-readable event lines on stderr
  --store DIR     keep each received image as DIR/image-NNN.bin
  --store-max-images N  keep at most N images of this run in the store (default 100)
  --store-max-bytes N   and at most N bytes of them (default 268435456, 256 MiB); to make
                  room the oldest are removed (event "store_removed"); an image larger
                  than N alone is not kept. 0: no cap.

Connections:
  --idle-timeout SECONDS  close a TCP connection that has sent nothing for SECONDS
                  (default 60; 0: never; at most 86400). A connection held by
                  --stall is not closed for it.

Faults, for testing a sender:
  --close-after BYTES  close the data connection after BYTES data bytes of an area (TCP)
  --stall              stop reading once an area's data starts, keeping the connection
                       (or pseudo-terminal) open, so the sender's buffers fill
  --talk BYTES         send BYTES bytes ("KERV" and a zero byte, repeated) on every TCP
                       connection, and on the pseudo-terminal after every command
  --exit-after-images N  exit with status 0 once N images have been judged
  --refuse-first K     the first K TCP printers (1 to K) refuse every connection for their
                       first --refuse-for seconds, as a printer still starting up: the port
                       is printed, but nothing listens on it yet, so a connect is refused
                       ("refusing" in the log, then "listening")
  --refuse-for SECONDS  how long they refuse (default 10; at most 86400)
  --usb-xoff-after BYTES  send XOFF over USB after BYTES data bytes of each area
  --usb-xoff-for MS    then send XON after MS milliseconds (without it XOFF is held)
  --usb-unplug-after BYTES  after BYTES data bytes of an area the USB bridge is pulled out:
                       the client's transfers fail, the socket is removed

  -h, --help      this text
  --version       the program's version

The program ends on SIGINT or SIGTERM (status 0). Status 1: the listener, pseudo-terminal,
log or store folder could not be set up; status 2: a usage error.
Log events and their fields are described in tools/printer-sim/README.md.
)";
}

}  // namespace corvelle::printersim
