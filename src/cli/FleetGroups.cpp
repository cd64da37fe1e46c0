// SPDX-License-Identifier: MIT
// Grouping an inventory's printers by the image each gets.
#include "cli/FleetGroups.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <map>

#include "base/FileSystem.h"
#include "base/Sha256.h"
#include "base/UniqueFd.h"
#include "catalogue/SettingsFile.h"

namespace corvelle::cli {
namespace {

// The SHA-256 of the file's bytes; false with errno set when it cannot be read.
bool FileDigest(const std::string& path, std::string& digest) {
  const UniqueFd fd(OpenForReading(path));
  if (!fd.Valid()) return false;
  Sha256 sha;
  char buffer[65536];
  for (;;) {
    const auto n = ::read(fd.Get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) break;
    sha.Update(buffer, static_cast<std::size_t>(n));
  }
  digest = sha.HexDigest();
  return true;
}

}  // namespace

Outcome GroupInventory(const std::vector<InventoryRow>& rows, bool legacy, std::string_view programFolder,
                       std::vector<FleetTarget>& targets, std::vector<FleetGroup>& groups) {
  std::map<std::pair<std::string, bool>, std::size_t> known;
  for (std::size_t i = 0; i < groups.size(); ++i) known.try_emplace({groups[i].selectionPath, groups[i].legacy}, i);
  for (const InventoryRow& row : rows) {
    const bool form = row.legacy.value_or(legacy);
    const auto [found, added] = known.try_emplace({row.selectionPath, form}, groups.size());
    if (added) {
      FleetGroup group;
      group.selectionPath = row.selectionPath;
      group.legacy = form;
      if (!row.selectionPath.empty()) {
        FontSelection selection;
        const Outcome loaded = LoadSettingsFile(row.selectionPath, programFolder, selection);
        if (!loaded.Ok()) return Outcome::Failure(row.target.origin + ": " + loaded.message);
        // Read once more for the digest: loading keeps only the lines a selection has.
        if (!FileDigest(row.selectionPath, group.selectionSha256)) {
          return Outcome::Failure(row.target.origin + ": cannot read " + row.selectionPath + ": " +
                                  std::strerror(errno));
        }
        group.selection = std::move(selection);
      }
      groups.push_back(std::move(group));
    }
    targets.push_back(row.target);
    targets.back().group = found->second;
  }
  return {};
}

Outcome KeepPicked(std::vector<FleetTarget>& targets, const std::vector<FleetTarget>& picks,
                   const std::string& inventory) {
  std::map<std::pair<std::string, int>, bool> wanted;
  for (const FleetTarget& pick : picks) wanted.try_emplace(PrinterKey(pick), false);
  std::vector<FleetTarget> kept;
  for (const FleetTarget& target : targets) {
    if (const auto found = wanted.find(PrinterKey(target)); found != wanted.end()) {
      found->second = true;
      kept.push_back(target);
    }
  }
  for (const FleetTarget& pick : picks) {
    if (!wanted[PrinterKey(pick)]) {
      return Outcome::Failure(pick.Name() + " is not a printer of the inventory " + inventory);
    }
  }
  targets = std::move(kept);
  return {};
}

std::string RepeatedPrinter(const std::vector<FleetTarget>& targets) {
  std::map<std::pair<std::string, int>, const FleetTarget*> seen;
  for (const FleetTarget& target : targets) {
    const auto [first, added] = seen.try_emplace(PrinterKey(target), &target);
    if (!added && !target.origin.empty()) {
      const std::string other = first->second->origin.empty() ? "the command line" : first->second->origin;
      return target.origin + ": " + target.Name() + " is the printer of " + other + " too";
    }
  }
  return "";
}

}  // namespace corvelle::cli
