// SPDX-License-Identifier: MIT
// The two image builders: plan the image from the stored selection, write the header into the
// scratch file, write the image from the header kept in memory, check its size.
#include "fontset/FontSetBuilder.h"

#include <cstring>

#include "base/FileWrite.h"
#include "base/Paths.h"
#include "base/FileHandle.h"
#include "fontset/ImagePlan.h"
#include "fontset/ImageWriter.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

std::string DefaultImagePath(const ImageFormatSpec& format, std::string_view programFolder) {
  return JoinPath(WritableDataFolder(programFolder), format.defaultFileName);
}

// The scratch file holds the header, or only the part-0 table when no position has a part 0.
Outcome WriteScratchFile(const std::string& path, std::string_view contents) {
  const Outcome written = ReplaceFileWhole(path, contents, kFileMode);
  if (written) return written;
  const auto text = written.message == kCannotCreate ? OpenErrorText : WriteErrorText;
  return Outcome::Failure(text(path, written.detail));
}

// One build in either format. When no position has a part 0 the build ends after the scratch
// file, which then holds the part-0 table only.
Result<BuiltImage> BuildImage(const ImageFormatSpec& format, const FontSetBuildContext& context,
                              const std::string& outputPath) {
  const ImagePlan plan = PlanImage(format, ReadStoredSelection(context.profile, format.positionCount, context.programFolder));
  const std::string header = plan.HeaderBytes();
  const size_t partZeroTable = static_cast<size_t>(format.positionCount) * 4;
  const bool empty = plan.presentPartZero == 0;

  if (std::string problem = DataFolderProblem(context.programFolder); !problem.empty()) {
    return Outcome::Failure(std::move(problem));
  }
  const std::string scratchPath = ScratchHeaderPath(context.programFolder);
  if (Outcome scratch = WriteScratchFile(scratchPath, empty ? std::string_view(header).substr(0, partZeroTable) : header);
      !scratch.Ok()) {
    return scratch;
  }
  if (empty) return Outcome::Failure(std::string(LoadStr(IDS_NO_FONTS_SELECTED)), MessageStyle::Exclamation);

  const std::string path = outputPath.empty() ? DefaultImagePath(format, context.programFolder) : outputPath;
  Result<WrittenImage> written = WriteImage(plan, header, path, context.stopRequested);
  if (!written) return written.Failure();
  // Only the finished image is measured, so an oversized one is complete on disk.
  if (written->written > format.sizeLimit) return Outcome::Failure(std::string(LoadStr(IDS_TOO_MUCH_MEMORY)));
  return BuiltImage{path, std::move(written->image)};
}

}  // namespace

Result<BuiltImage> BuildFontSet(const FontSetBuildContext& context, const std::string& outputPath) {
  return BuildImage(kFontSetFormat, context, outputPath);
}

Result<BuiltImage> BuildLegacyFontSet(const FontSetBuildContext& context, const std::string& outputPath) {
  return BuildImage(kLegacyFontSetFormat, context, outputPath);
}

std::string DefaultFontSetPath(std::string_view programFolder) {
  return DefaultImagePath(kFontSetFormat, programFolder);
}

std::string DefaultLegacyFontSetPath(std::string_view programFolder) {
  return DefaultImagePath(kLegacyFontSetFormat, programFolder);
}

std::string ScratchHeaderPath(std::string_view programFolder) {
  return JoinPath(WritableDataFolder(programFolder), kScratchHeaderName);
}

}  // namespace corvelle
