// SPDX-License-Identifier: MIT
// The program's own TrueType fonts, made available to the windows at start-up so that previews
// look like the printer's fonts.
#pragma once

#include <array>
#include <string_view>

#include "base/Host.h"

namespace corvelle {

// In registration order, in the folder "fonts" of the program folder.
inline constexpr std::array<std::string_view, 7> kProgramFonts = {
    "VNS ABA.TTF", "VNS FRK.TTF", "VNS SwIns.TTF", "VNS IMP.TTF", "VNS TAH.TTF", "VNS UC.TTF", "VNS CONS.TTF",
};

// Adds the seven fonts of programFolder + "/fonts/" to the application's font database and
// answers how many were added. When fewer than all seven were, tells the user once through
// `host` ("KERV - Font loading error"); start-up goes on either way.
int RegisterProgramFonts(std::string_view programFolder, Host& host);

}  // namespace corvelle
