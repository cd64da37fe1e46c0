// SPDX-License-Identifier: MIT
// The preview font of a catalogue entry, read from fixed character positions of its detail text.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace corvelle {

struct PreviewFont {
  std::string faceName;  // characters 32..63, trailing spaces removed
  int height = 0;        // characters 68..71 as a decimal number; 0 lets the font mapper choose
  int weight = 400;      // 700 when character 73 (the bold digit) is not '0'
  bool italic = false;   // character 74 is not '0'
  bool underline = false;  // character 75 is not '0'
};

// Nothing when `detailText` is shorter than 76 characters: there is nothing to preview and the
// window clears its preview area.
std::optional<PreviewFont> DecodePreview(std::string_view detailText);

}  // namespace corvelle
