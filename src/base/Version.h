// SPDX-License-Identifier: MIT
// The one version number of Corvelle, taken from the CMake project: every program's --version and
// the About box print it.
#pragma once

namespace corvelle {

// "1.10": the project's version as CMake's project() gives it.
const char* ProgramVersion();

}  // namespace corvelle
