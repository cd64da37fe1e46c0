// SPDX-License-Identifier: MIT
// The printers of a download with several targets: "ADDR" or "ADDR:PORT" from --ip and from the
// lines of an --ip-list file, in order, each served once.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {
class StopSignal;
}

namespace corvelle::cli {

struct FleetTarget {
  std::string address;  // as given, without the brackets of "[::1]:4001"
  int port = 0;
  // "127.0.0.1:4001", "[::1]:4001": how messages and the results name it.
  std::string Name() const;
};

// "ADDR" (port `defaultPort`), "ADDR:PORT", "[ADDR]" or "[ADDR]:PORT"; an address with more than
// one colon and no brackets is all address. Nullopt, with the reason in `error`, for an empty
// address or a port that is not a number from 0 to 65535.
std::optional<FleetTarget> ParseTarget(std::string_view text, int defaultPort, std::string& error);

// The targets of an --ip-list file's text: one a line, surrounding blanks dropped, blank lines
// and lines starting with '#' ignored. Appended to `targets`; false with "FILE:LINE: reason" in
// `error` for a line that is not a target.
bool ParseTargetList(std::string_view text, const std::string& fileName, int defaultPort,
                     std::vector<FleetTarget>& targets, std::string& error);

// Reads an --ip-list file (at most kMaxTargetListBytes); false with the reason in `error`, also
// when `stop` is raised while a pipe keeps the read waiting.
bool ReadTargetList(const std::string& path, int defaultPort, const StopSignal* stop, std::vector<FleetTarget>& targets,
                    std::string& error);
inline constexpr std::size_t kMaxTargetListBytes = 4 * 1024 * 1024;

// The targets in their first order, each one once (the same address text and port).
std::vector<FleetTarget> WithoutRepeats(const std::vector<FleetTarget>& targets);

}  // namespace corvelle::cli
