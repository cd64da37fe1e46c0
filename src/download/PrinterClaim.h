// SPDX-License-Identifier: MIT
// Which printer a download serves, and holding it for the whole download, so that two downloads
// (two runs of corvelle-cli, or the window and a run) never interleave on one printer.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "base/Outcome.h"
#include "base/PrinterLock.h"
#include "ports/NameLookup.h"
#include "ports/PortEnvironment.h"
#include "ports/PortSettings.h"

namespace corvelle {

class Host;

// The text that names the printer a download with `settings` serves, one text per printer:
// TCP/IP "ADDR:PORT" with any numeric form of the address in dotted decimal, and a name as the
// address `lookUp` gives it (so the window's stored name and a run's number are one printer), in
// lower case when it has none; the system device of a serial or parallel port with its links resolved; "USB" and the
// bridge's description. "" for the FILE kind, whose output files are claimed one by one as the
// save dialogs answer (OutputFilePrinter).
std::string PrinterOf(const PortSettings& settings, const PortEnvironment& environment,
                      const NameLookUp& lookUp = {});
// An output file of the FILE kind as a printer: its full path, links resolved.
std::string OutputFilePrinter(const std::string& path);

// Holds `printer` for as long as the lock returned lives. When another download holds it, the
// printer fails at once, or with `wait` the claim waits for it on the host in short slices
// (`stopRequested` ends the wait; the host is told once that it waits). Without the lock, why:
// the printer and its holder, or a lock folder that cannot be used; or stopped.
Result<PrinterLock> ClaimPrinter(Host& host, const std::string& printer, bool wait,
                                        const std::function<bool()>& stopRequested);

}  // namespace corvelle
