// SPDX-License-Identifier: MIT
// corvelle-cli download with two or more targets: builds the image once, serves every printer
// and prints one result line per target on stdout.
#pragma once

#include <cstddef>

#include "base/Profile.h"
#include "cli/Commands.h"
#include "cli/FleetDownload.h"

namespace corvelle::cli {

// `job` holds the targets, jobs, settings, environment and form; the image, stop and status are
// filled in here. Stdout gets a result line per target, or with `json` the run's JSON report.
// The exit status: 0 when every printer is ok, else 1.
int RunFleetDownload(CliContext& context, const Profile& profile, FleetJob job, bool json = false);

// Lets the process hold what every printer served at once needs open: raises the soft limit of
// open descriptors to the hard one (the platform's own file).
void RaiseOpenFileLimit();
// How many more descriptors the process may open now; SIZE_MAX where nothing of a download to
// several printers counts against a limit.
std::size_t FreeDescriptors();

}  // namespace corvelle::cli
