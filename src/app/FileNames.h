// SPDX-License-Identifier: MIT
// File names between the windows (QString) and the engine (byte strings). The engine takes the
// file system's own bytes on Linux and UTF-8 on Windows, where it widens them for the file APIs;
// Windows paths also go to it, and into the profile, with the system's backslashes.
#pragma once

#include <QString>
#include <string>
#include <string_view>

namespace corvelle {

// A path from a dialog, the command line or a drop, as the engine opens it.
std::string EngineFileName(const QString& path);

// A path from the engine or the profile, as a dialog or a list shows it.
QString ShownFileName(std::string_view path);

}  // namespace corvelle
