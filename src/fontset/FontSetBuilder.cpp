// SPDX-License-Identifier: MIT
// The two image builders: plan the image from the stored selection, write the header into the
// scratch file, write the image, check its size.
#include "fontset/FontSetBuilder.h"

#include "base/Host.h"
#include "base/Paths.h"
#include "fontset/FileHandle.h"
#include "fontset/ImagePlan.h"
#include "fontset/ImageWriter.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

std::string DefaultImagePath(const ImageFormatSpec& format, std::string_view programFolder) {
  return JoinPath(WritableDataFolder(programFolder), format.defaultFileName);
}

// One build in either format. The part-0 table goes into the scratch file first: when no
// position has a part 0 the build ends there, leaving the scratch file with that table only.
bool BuildImage(const ImageFormatSpec& format, const FontSetBuildContext& context, const std::string& outputPath,
                std::string* imagePath) {
  Host& host = context.host;
  const ImagePlan plan = PlanImage(format, ReadStoredSelection(context.profile, format.positionCount));
  const std::string header = plan.HeaderBytes();
  const size_t partZeroTable = static_cast<size_t>(format.positionCount) * 4;

  const std::string scratchPath = ScratchHeaderPath(context.programFolder);
  FileHandle scratch = FileHandle::Create(scratchPath);
  if (!scratch.IsOpen()) {
    host.ShowMessage(OpenErrorText(scratchPath, scratch.ErrorText()), MessageStyle::Plain);
    return false;
  }
  if (!scratch.WriteAll(header.data(), partZeroTable)) {
    host.ShowMessage(WriteErrorText(scratchPath, scratch.ErrorText()), MessageStyle::Plain);
    return false;
  }
  if (plan.presentPartZero == 0) {
    scratch.Close();
    host.ShowMessage(std::string(LoadStr(IDS_NO_FONTS_SELECTED)), MessageStyle::Exclamation);
    return false;
  }
  if (!scratch.WriteAll(header.data() + partZeroTable, header.size() - partZeroTable) || !scratch.Close()) {
    host.ShowMessage(WriteErrorText(scratchPath, scratch.ErrorText()), MessageStyle::Plain);
    return false;
  }

  const std::string path = outputPath.empty() ? DefaultImagePath(format, context.programFolder) : outputPath;
  const ImageWriteResult written = WriteImage(plan, scratchPath, path);
  if (!written.ok) {
    host.ShowMessage(written.error, MessageStyle::Plain);
    return false;
  }
  if (imagePath) *imagePath = path;
  // Only the finished image is measured, so an oversized one is complete on disk.
  if (written.written > format.sizeLimit) {
    host.ShowMessage(std::string(LoadStr(IDS_TOO_MUCH_MEMORY)), MessageStyle::Plain);
    return false;
  }
  return true;
}

}  // namespace

bool BuildFontSet(const FontSetBuildContext& context, const std::string& outputPath, std::string* imagePath) {
  return BuildImage(kFontSetFormat, context, outputPath, imagePath);
}

bool BuildLegacyFontSet(const FontSetBuildContext& context, const std::string& outputPath, std::string* imagePath) {
  return BuildImage(kLegacyFontSetFormat, context, outputPath, imagePath);
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
