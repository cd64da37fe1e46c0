// SPDX-License-Identifier: MIT
// The second pass of an image build: the image file written from a plan, the scratch header
// first, then every section with its fill. Failures come back as the outcome to show.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/FileHandle.h"
#include "base/Outcome.h"
#include "fontset/ImagePlan.h"

namespace corvelle {

struct WrittenImage {
  FileHandle image;           // the complete image, open for reading from its start
  std::uint64_t written = 0;  // bytes written into it
};

// Writes the image into a new file beside `imagePath` and, once complete, renames it over
// `imagePath` (a link there is replaced, never followed): `header` at its head, then the sections
// in image order, each preceded by its 0xFF fill. Everything streams through one large buffer,
// written whenever it is full. A fragment that cannot be reopened, or whose length is no longer the planned one, ends
// the write: the tables would not describe the contents. `stopRequested`, asked before each write,
// ends it too (a Stopped outcome). On any failure or stop the new file is removed and `imagePath`
// is left as it was.
Result<WrittenImage> WriteImage(const ImagePlan& plan, std::string_view header, const std::string& imagePath,
                                const std::function<bool()>& stopRequested = {});

// "Error opening output file" with the path and the reason on a second line.
std::string OpenErrorText(const std::string& path, const std::string& reason);
// "Error writing output file" with the path and the reason on a second line.
std::string WriteErrorText(const std::string& path, const std::string& reason);

}  // namespace corvelle
