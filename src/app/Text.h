// SPDX-License-Identifier: MIT
// The two ways the window turns the engine's byte strings into shown text.
#pragma once

#include <QString>

#include <string_view>

#include "base/CodePage.h"

namespace corvelle {

// One character per byte: the program's own tables and captions, and names whose bytes the window
// shows as they are.
inline QString Latin1(std::string_view text) {
  return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// A message of the engine: its own words are ASCII, and the paths and names it quotes are UTF-8
// as the file system gives them (the Windows build's file names are UTF-8 too). A text that is
// not UTF-8 is shown byte by byte, as before.
inline QString EngineText(std::string_view text) {
  return IsUtf8(text) ? QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())) : Latin1(text);
}

}  // namespace corvelle
