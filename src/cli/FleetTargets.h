// SPDX-License-Identifier: MIT
// The printers of a download named by --ip and --ip-list: "ADDR" or "ADDR:PORT" from the options
// and from the lines of list files, in order, each printer served once however it is spelt.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/Outcome.h"
#include "ports/NameLookup.h"

namespace corvelle {
class StopSignal;
}

namespace corvelle::cli {

struct FleetTarget {
  std::string address;  // as given
  int port = 0;
  // The address in dotted decimal once ResolveTargets has found it; "" for a name that does not
  // resolve, which is then served by its name (and fails as such a printer does).
  std::string resolved;
  // From an inventory row: its name and site, where the row is ("FILE:LINE"), and which of the
  // run's images it is served (an index into FleetJob::groups; 0 for every other target).
  std::string name = {};
  std::string site = {};
  std::string origin = {};
  std::size_t group = 0;
  // "127.1:4001": how messages and the results name it, as it was given.
  std::string Name() const;
  // What the download connects to: the resolved address, else the address as given.
  const std::string& ServedAddress() const { return resolved.empty() ? address : resolved; }
};

// "ADDR" (port `defaultPort`) or "ADDR:PORT". A failure, with the reason as its message, for an
// empty address, a port that is not a number from 0 to 65535, or an IPv6 address ("::1",
// "[::1]:4001"), which the TCP/IP kind cannot reach.
Result<FleetTarget> ParseTarget(std::string_view text, int defaultPort);

// The targets of an --ip-list file's text: one a line, surrounding blanks dropped, blank lines
// and lines starting with '#' ignored. A line may be a result line of an earlier run: its first
// tab-separated field is the target, and with `onlyFailed` a line whose second field is an ok
// ("ok", "ok (attempt 2 of 3)") is skipped. A failure with "FILE:LINE: reason" for a line that
// is not a target.
Result<std::vector<FleetTarget>> ParseTargetList(std::string_view text, const std::string& fileName, int defaultPort,
                                                 bool onlyFailed = false);

// Whether `word`, a result line's second field, says the printer got its image.
bool IsOkResult(std::string_view word);

// Reads the targets of an --ip-list file (at most kMaxTargetListBytes); a failure with the reason
// as its message when it cannot, when it names no printer (unless `onlyFailed` skipped them all:
// `skipped` is then set and no target is returned), and when `stop` is raised while a pipe keeps
// the read waiting.
Result<std::vector<FleetTarget>> ReadTargetList(const std::string& path, int defaultPort, const StopSignal* stop,
                                                bool onlyFailed = false, bool* skipped = nullptr);
inline constexpr std::size_t kMaxTargetListBytes = 4 * 1024 * 1024;

// The whole text of a list the user names (`what`: "target list", "inventory"), at most
// kMaxTargetListBytes, from a file, a FIFO or a pipe; a failure with the reason as its message.
Result<std::string> ReadListFile(const std::string& path, const char* what, const StopSignal* stop);

// Sets each target's resolved address: every numeric form of an IPv4 address as dotted decimal,
// and each distinct name (in any case) looked up once, before any printer is served.
void ResolveTargets(std::vector<FleetTarget>& targets, const NameLookUp& lookUp);

// The targets in their first order, each printer once: the same served address and port.
std::vector<FleetTarget> WithoutRepeats(const std::vector<FleetTarget>& targets);
// The served address and port that make a target one printer, in any case.
std::pair<std::string, int> PrinterKey(const FleetTarget& target);

}  // namespace corvelle::cli
