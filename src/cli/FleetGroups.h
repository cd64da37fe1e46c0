// SPDX-License-Identifier: MIT
// An inventory's printers as a run serves them: one image for each distinct selection and form,
// and each printer named once.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/FleetDownload.h"
#include "cli/Inventory.h"

namespace corvelle::cli {

// Appends the rows' targets to `targets` and gives each the group of its (selection, form) pair,
// adding to `groups` each pair not there yet: its .kvf read by the rules of loading a selection
// (paths re-rooted into `programFolder`'s FontExt) and the SHA-256 of its bytes taken. A row
// without a legacy value takes `legacy`. A failure with "FILE:LINE: reason" for the first row
// whose .kvf cannot be read.
Outcome GroupInventory(const std::vector<InventoryRow>& rows, bool legacy, std::string_view programFolder,
                       std::vector<FleetTarget>& targets, std::vector<FleetGroup>& groups);

// Keeps the inventory's `targets` that are among `picks` (the same printer, however spelt), in
// the inventory's order; a failure with the reason for a pick the inventory does not have.
Outcome KeepPicked(std::vector<FleetTarget>& targets, const std::vector<FleetTarget>& picks,
                   const std::string& inventory);

// "FILE:LINE: ADDR:PORT is the printer of FILE:LINE too" for the first inventory target that is
// the same printer (served address and port) as an earlier target; "" when there is none.
std::string RepeatedPrinter(const std::vector<FleetTarget>& targets);

}  // namespace corvelle::cli
