// SPDX-License-Identifier: MIT
// What keyboard and screen-reader users need from the windows beyond their captions: names and
// descriptions for the controls whose caption says little ("-->"), and radio groups that are one
// Tab stop, entered at the checked radio.
#pragma once

#include <span>

class QRadioButton;

namespace corvelle {

class TemplateControls;

struct ControlDescription {
  int id;
  const char* name;         // null: the caption's
  const char* description;
};

// The main window's and the communication port dialog's controls.
std::span<const ControlDescription> MainWindowDescriptions();
std::span<const ControlDescription> CommPortDescriptions();

void Describe(const TemplateControls& controls, std::span<const ControlDescription> descriptions);

// Only the checked radio of the group takes the focus by Tab (the first one while none is
// checked); the arrow keys move within the group. Kept up to date as the check moves.
void MakeOneTabStop(std::span<QRadioButton* const> group);

}  // namespace corvelle
