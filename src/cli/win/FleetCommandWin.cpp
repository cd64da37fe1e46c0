// SPDX-License-Identifier: MIT
// The open-file limit of a download to several printers on Windows.
#include <cstdint>

#include "cli/FleetCommand.h"

namespace corvelle::cli {

// Nothing to raise: sockets and handles have no per-process limit to lift, and the C runtime's
// descriptor table (at least 2048) holds the 256 image readings of the most printers at once.
void RaiseOpenFileLimit() {}

std::size_t FreeDescriptors() { return SIZE_MAX; }

}  // namespace corvelle::cli
