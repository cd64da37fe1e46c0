// SPDX-License-Identifier: MIT
// Several substitute TCP printers in one process (--printers N), each a simulator of its own with
// its own port, log, store folder and verdicts, all served from one thread.
#pragma once

#include <string>

#include "printer-sim/SimOptions.h"

namespace corvelle::printersim {

// Opens every printer, prints every address line, then serves them all until a signal (or each
// has judged its --exit-after-images). The process's exit status; 1 when one cannot be set up.
int RunPrinterFleet(const SimOptions& options);

}  // namespace corvelle::printersim
