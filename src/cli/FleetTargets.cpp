// SPDX-License-Identifier: MIT
// Reading the targets of a download to several printers.
#include "cli/FleetTargets.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>
#include <set>
#include <utility>

#include "base/FileSystem.h"
#include "base/Ipv4Text.h"
#include "base/StopSignal.h"
#include "base/UniqueFd.h"
#include "cli/ArgReader.h"

namespace corvelle::cli {
namespace {

std::string_view Trimmed(std::string_view text) {
  const auto blank = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\v' || c == '\f'; };
  while (!text.empty() && blank(text.front())) text.remove_prefix(1);
  while (!text.empty() && blank(text.back())) text.remove_suffix(1);
  return text;
}

}  // namespace

std::string FleetTarget::Name() const { return address + ":" + std::to_string(port); }

Result<FleetTarget> ParseTarget(std::string_view text, int defaultPort) {
  std::string_view address = text;
  std::optional<std::string_view> port;
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos || (close + 1 < text.size() && text[close + 1] != ':')) {
      return Outcome::Failure("'" + std::string(text) + "' is not ADDR or ADDR:PORT");
    }
    address = text.substr(1, close - 1);
    if (close + 1 < text.size()) port = text.substr(close + 2);
  } else if (const std::size_t colon = text.find(':'); colon != std::string_view::npos && text.rfind(':') == colon) {
    address = text.substr(0, colon);
    port = text.substr(colon + 1);
  }
  if (address.empty()) {
    return Outcome::Failure("'" + std::string(text) + "' has no address");
  }
  if (address.find(':') != std::string_view::npos) {
    return Outcome::Failure("'" + std::string(text) + "': IPv6 addresses are not supported (an IPv4 address or a host name is)");
  }
  FleetTarget target;
  target.address = std::string(address);
  target.port = defaultPort;
  if (port) {
    const auto number = ArgReader::ParseInteger(*port);
    if (!number || *number < 0 || *number > 65535 || port->starts_with('-') || port->starts_with('+')) {
      return Outcome::Failure("'" + std::string(text) + "': the port must be a number from 0 to 65535");
    }
    target.port = static_cast<int>(*number);
  }
  return target;
}

bool IsOkResult(std::string_view word) { return word == "ok" || word.starts_with("ok "); }

Result<std::vector<FleetTarget>> ParseTargetList(std::string_view text, const std::string& fileName, int defaultPort,
                                                 bool onlyFailed) {
  std::vector<FleetTarget> targets;
  int lineNumber = 0;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    std::string_view line = Trimmed(text.substr(0, end));
    text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    ++lineNumber;
    if (line.empty() || line.starts_with('#')) continue;
    if (const std::size_t tab = line.find('\t'); tab != std::string_view::npos) {
      const std::string_view rest = line.substr(tab + 1);
      if (onlyFailed && IsOkResult(rest.substr(0, rest.find('\t')))) continue;
      line = Trimmed(line.substr(0, tab));
    }
    const Result<FleetTarget> target = ParseTarget(line, defaultPort);
    if (!target) return Outcome::Failure(fileName + ":" + std::to_string(lineNumber) + ": " + target.Failure().message);
    targets.push_back(*target);
  }
  return targets;
}

Result<std::string> ReadListFile(const std::string& path, const char* what, const StopSignal* stop) {
  const auto unread = [&] {
    return Outcome::Failure(std::string("cannot read the ") + what + " " + path + ": " + std::strerror(errno));
  };
  // Opened without waiting for a FIFO's writer; then read to its end like any file (a pipe from
  // `<(...)` included). A stop signal interrupts the read and ends it.
  const UniqueFd fd(OpenForReading(path));
  bool opened = fd.Valid();
#ifndef _WIN32
  opened = opened && ::fcntl(fd.Get(), F_SETFL, 0) == 0;
#endif
  if (!opened) return unread();
  std::string text;
  char buffer[65536];
  for (;;) {
    const auto n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR && !(stop && stop->Raised())) continue;
    if (n < 0) return unread();
    if (n == 0) return text;
    text.append(buffer, static_cast<std::size_t>(n));
    if (text.size() > kMaxTargetListBytes) {
      return Outcome::Failure(std::string("the ") + what + " " + path + " is longer than " +
                              std::to_string(kMaxTargetListBytes) + " bytes");
    }
  }
}

Result<std::vector<FleetTarget>> ReadTargetList(const std::string& path, int defaultPort, const StopSignal* stop,
                                                bool onlyFailed, bool* skipped) {
  const Result<std::string> text = ReadListFile(path, "target list", stop);
  if (!text) return text.Failure();
  Result<std::vector<FleetTarget>> targets = ParseTargetList(*text, path, defaultPort, onlyFailed);
  if (targets && targets->empty()) {
    // Every line an ok result: nothing is left to re-run, which is no mistake of the user's.
    if (const auto all = ParseTargetList(*text, path, defaultPort); onlyFailed && skipped && all && !all->empty()) {
      *skipped = true;
      return targets;
    }
    return Outcome::Failure("the target list " + path + " names no printers");
  }
  return targets;
}

void ResolveTargets(std::vector<FleetTarget>& targets, const NameLookUp& lookUp) {
  std::map<std::string, std::optional<std::uint32_t>> names;
  for (FleetTarget& target : targets) {
    std::optional<std::uint32_t> number = ParseIPv4(target.address);
    if (!number) {
      const auto [known, added] = names.try_emplace(AddressKey(target.address));
      if (added) known->second = lookUp(target.address);
      number = known->second;
    }
    target.resolved = number ? DottedDecimal(*number) : "";
  }
}

std::pair<std::string, int> PrinterKey(const FleetTarget& target) {
  return {AddressKey(target.ServedAddress()), target.port};
}

std::vector<FleetTarget> WithoutRepeats(const std::vector<FleetTarget>& targets) {
  std::vector<FleetTarget> once;
  std::set<std::pair<std::string, int>> seen;
  for (const FleetTarget& target : targets) {
    if (seen.insert(PrinterKey(target)).second) once.push_back(target);
  }
  return once;
}

}  // namespace corvelle::cli
