// SPDX-License-Identifier: MIT
// The FILE kind: the stream goes into an output file that the user picks at every open.
#pragma once

#include <memory>
#include <optional>
#include <string>

#include "ports/PortBackend.h"

namespace corvelle {

inline constexpr const char* kOutputFileFilter = "Output file (*.out) | *.out||";

// The name the save dialog proposes: `outputName` (or `fallbackOutputName` when that is empty),
// cut before ".krv" where the lower-case outputName holds it, with ".out" appended unless it ends
// in ".out" already (in any case), and any folder part (up to the last backslash or slash) removed.
std::string SuggestedOutputName(const std::string& outputName, const std::string& fallbackOutputName);

// Asks the user for this open's output file, proposing SuggestedOutputName; nothing when cancelled.
std::optional<std::string> AskOutputPath(Host& host, const PortOpenArgs& args);

std::unique_ptr<PortBackend> MakeFileBackend(PortContext& context);

// The platform's side of the FILE kind: opens the output file `path` so that no other program
// writes it meanwhile, truncated only once it is held, leaving a file another program is writing
// alone. The descriptor; Stopped after STOP; else a failure with the errno value in `system`.
Result<int> OpenOutputFile(PortContext& context, const std::string& path);

}  // namespace corvelle
