// SPDX-License-Identifier: MIT
// The two image builders: plan the image from the stored selection, write the header into the
// scratch file, write the image from the header kept in memory, check its size.
#include "fontset/FontSetBuilder.h"

#include <cstring>

#include "base/FileWrite.h"
#include "base/Host.h"
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
bool WriteScratchFile(Host& host, const std::string& path, std::string_view contents) {
  AtomicFile scratch(path, kFileMode);
  if (!scratch.IsOpen()) {
    host.ShowMessage(OpenErrorText(path, std::strerror(scratch.Error())), MessageStyle::Plain);
    return false;
  }
  if (!scratch.Write(contents) || !scratch.Commit()) {
    host.ShowMessage(WriteErrorText(path, std::strerror(scratch.Error())), MessageStyle::Plain);
    return false;
  }
  return true;
}

// One build in either format. When no position has a part 0 the build ends after the scratch
// file, which then holds the part-0 table only.
bool BuildImage(const ImageFormatSpec& format, const FontSetBuildContext& context, const std::string& outputPath,
                std::string* imagePath, FileHandle* image) {
  Host& host = context.host;
  const ImagePlan plan = PlanImage(format, ReadStoredSelection(context.profile, format.positionCount, context.programFolder));
  const std::string header = plan.HeaderBytes();
  const size_t partZeroTable = static_cast<size_t>(format.positionCount) * 4;
  const bool empty = plan.presentPartZero == 0;

  if (const std::string problem = DataFolderProblem(context.programFolder); !problem.empty()) {
    host.ShowMessage(problem, MessageStyle::Plain);
    return false;
  }
  const std::string scratchPath = ScratchHeaderPath(context.programFolder);
  if (!WriteScratchFile(host, scratchPath, empty ? std::string_view(header).substr(0, partZeroTable) : header)) {
    return false;
  }
  if (empty) {
    host.ShowMessage(std::string(LoadStr(IDS_NO_FONTS_SELECTED)), MessageStyle::Exclamation);
    return false;
  }

  const std::string path = outputPath.empty() ? DefaultImagePath(format, context.programFolder) : outputPath;
  ImageWriteResult written = WriteImage(plan, header, path, context.stopRequested);
  if (!written.ok) {
    if (!written.stopped) host.ShowMessage(written.error, MessageStyle::Plain);
    return false;
  }
  if (imagePath) *imagePath = path;
  if (image) *image = std::move(written.image);
  // Only the finished image is measured, so an oversized one is complete on disk.
  if (written.written > format.sizeLimit) {
    host.ShowMessage(std::string(LoadStr(IDS_TOO_MUCH_MEMORY)), MessageStyle::Plain);
    return false;
  }
  return true;
}

}  // namespace

bool BuildFontSet(const FontSetBuildContext& context, const std::string& outputPath, std::string* imagePath,
                  FileHandle* image) {
  return BuildImage(kFontSetFormat, context, outputPath, imagePath, image);
}

bool BuildLegacyFontSet(const FontSetBuildContext& context, const std::string& outputPath, std::string* imagePath,
                        FileHandle* image) {
  return BuildImage(kLegacyFontSetFormat, context, outputPath, imagePath, image);
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
