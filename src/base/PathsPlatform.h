// SPDX-License-Identifier: MIT
// What the platform-free path rules (Paths.cpp) ask of the platform's own paths file.
#pragma once

#include <string>
#include <string_view>

namespace corvelle {

// Characters that separate folders in a path: '/' everywhere, '\' too on Windows.
// New paths are joined with the platform's own separator.
#ifdef _WIN32
inline constexpr std::string_view kPathSeparators = "/\\";
inline constexpr char kSeparator = '\\';
#else
inline constexpr std::string_view kPathSeparators = "/";
inline constexpr char kSeparator = '/';
#endif

// The per-user folder for images and the scratch file (made by the caller when needed).
std::string PerUserDataFolder();
// The per-user folder for the download history (made by the caller when needed).
std::string PerUserStateFolder();
// True when `folder` is a folder.
bool IsFolder(const std::string& folder);
// True when this user may create files in `folder`.
bool MayCreateIn(const std::string& folder);

}  // namespace corvelle
