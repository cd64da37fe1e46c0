// SPDX-License-Identifier: MIT
// Builds the font set image that a printer receives: FontSet.SHC from the 112 stored positions,
// or the legacy FontSet.SHF of GN1 printers (firmware before J2.10) from the first 8. The
// selection comes from the profile section "FontsAggiuntivi" only, never from the window.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "base/FileHandle.h"
#include "base/Outcome.h"

namespace corvelle {

class Profile;

// What a build reads besides the fragment files.
struct FontSetBuildContext {
  const Profile& profile;   // the stored selection
  std::string programFolder;  // default output and scratch file go to WritableDataFolder(programFolder)
  // Asked while the image is written; true ends the build (a Stopped outcome), leaving the old image.
  std::function<bool()> stopRequested = {};
};

// A build's image: where it was written, and the image itself, open for reading from its start:
// what a download sends, whatever replaces the file afterwards.
struct BuiltImage {
  std::string path;
  FileHandle image;
};

// Builds FontSet.SHC into `outputPath`, or into DefaultFontSetPath() when it is empty: a complete
// image of at most IMAGE_LIMIT bytes, written and closed. Otherwise the outcome says why: "No
// additional fonts selected" (nothing written but the scratch file), "Selected fonts require too
// much memory\nTask cancelled." (the oversized image stays on disk), or a message naming the file
// that could not be opened, written or read (no image is left then). The image and the scratch
// file are each written whole into a new file and renamed over the old one (a link there is
// replaced, not followed), so a failed or stopped build leaves the previous files as they were.
Result<BuiltImage> BuildFontSet(const FontSetBuildContext& context, const std::string& outputPath);

// The same for FontSet.SHF (positions 1..8, limit LEGACY_IMAGE_LIMIT).
Result<BuiltImage> BuildLegacyFontSet(const FontSetBuildContext& context, const std::string& outputPath);

// "FontSet.SHC" / "FontSet.SHF" in WritableDataFolder(programFolder): where a build with an
// empty output path writes, and what the download sends.
std::string DefaultFontSetPath(std::string_view programFolder);
std::string DefaultLegacyFontSetPath(std::string_view programFolder);

// The scratch header file "fontheadkerv.sh" beside the default images: a copy of the last
// build's header for whoever looks (nothing reads it back).
std::string ScratchHeaderPath(std::string_view programFolder);

}  // namespace corvelle
