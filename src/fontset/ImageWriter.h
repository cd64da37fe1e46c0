// SPDX-License-Identifier: MIT
// The second pass of an image build: the image file written from a plan, the scratch header
// first, then every section with its fill. Failures come back as the text to show.
#pragma once

#include <cstdint>
#include <string>

#include "fontset/ImagePlan.h"

namespace corvelle {

struct ImageWriteResult {
  bool ok = false;             // the complete image is written and closed
  std::uint64_t written = 0;   // bytes written into the image
  std::string error;           // what went wrong, for the user, when !ok
};

// Creates (or truncates) `imagePath` and writes the image: the scratch header file at
// `scratchPath` copied to its head, then the sections in image order, each preceded by its 0xFF
// fill. Everything streams through one kCopyBlock buffer. A fragment that cannot be reopened,
// or whose length is no longer the planned one, ends the write: the tables would not describe
// the contents. On any failure the incomplete image is removed again.
ImageWriteResult WriteImage(const ImagePlan& plan, const std::string& scratchPath, const std::string& imagePath);

// "Error opening output file" with the path and the reason on a second line.
std::string OpenErrorText(const std::string& path, const std::string& reason);
// "Error writing output file" with the path and the reason on a second line.
std::string WriteErrorText(const std::string& path, const std::string& reason);

}  // namespace corvelle
