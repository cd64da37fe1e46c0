// SPDX-License-Identifier: MIT
// The program's builders, downloads and printer commands, joined to the window's actions.
#include "app/PrinterActions.h"

#include <memory>

#include "base/History.h"
#include "base/Host.h"
#include "download/Download.h"
#include "download/DownloadRecord.h"
#include "base/FileHandle.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PortEnvironment.h"

namespace corvelle {
namespace {

FontSetBuildContext BuildContext(const FontSetJob& job) { return {job.host, job.profile, job.programFolder}; }

DownloadRequest Request(const FontSetJob& job, std::string imagePath, FileHandle* image, DownloadHistory& history) {
  return {job.host, job.port, DefaultPortEnvironment(job.profile), std::move(imagePath), {}, image, &history};
}


}  // namespace

bool DownloadFinished(Host& host, DownloadResult result) {
  if (result == DownloadResult::Cancelled) host.ShowMessage(kDownloadStoppedText, MessageStyle::Plain);
  return result == DownloadResult::Completed;
}

PrinterActions ProgramPrinterActions(const Profile& profile) {
  PrinterActions actions;
  // "Download" builds the default image, then sends it: the download takes the image the build
  // just wrote, still open, so another build replacing the file in between changes nothing.
  const auto built = std::make_shared<FileHandle>();
  // One history for the window's whole life, so that a history that cannot be written is said once.
  const auto history = std::make_shared<DownloadHistory>("corvelle");
  actions.buildFontSet = [built](const FontSetJob& job, const std::string& outputPath) {
    *built = FileHandle();
    return BuildFontSet(BuildContext(job), outputPath, nullptr, outputPath.empty() ? built.get() : nullptr);
  };
  actions.buildLegacyFontSet = [built](const FontSetJob& job, const std::string& outputPath) {
    *built = FileHandle();
    return BuildLegacyFontSet(BuildContext(job), outputPath, nullptr, outputPath.empty() ? built.get() : nullptr);
  };
  actions.downloadFontSet = [built, history](const FontSetJob& job) {
    const DownloadRequest request = Request(job, DefaultFontSetPath(job.programFolder), built.get(), *history);
    return DownloadFinished(job.host, DownloadFontSet(request));
  };
  actions.downloadLegacyFontSet = [built, history](const FontSetJob& job) {
    const DownloadRequest request = Request(job, DefaultLegacyFontSetPath(job.programFolder), built.get(), *history);
    return DownloadFinished(job.host, DownloadLegacyFontSet(request));
  };
  actions.setComPort = [&profile](Host& host, const PortSettings& current,
                                  const SerialPositions& chosen) -> std::optional<SerialPositions> {
    const SetComPortResult result = SetComPort({host, DefaultPortEnvironment(profile), current, chosen, {}});
    if (!result.sent) return std::nullopt;
    return result.positions;
  };
  return actions;
}

}  // namespace corvelle
