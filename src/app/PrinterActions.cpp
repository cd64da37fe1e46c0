// SPDX-License-Identifier: MIT
// The program's builders, downloads and printer commands, joined to the window's actions.
#include "app/PrinterActions.h"

#include "download/Download.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PortEnvironment.h"

namespace corvelle {
namespace {

FontSetBuildContext BuildContext(const FontSetJob& job) { return {job.host, job.profile, job.programFolder}; }

DownloadRequest Request(const FontSetJob& job, std::string imagePath) {
  return {job.host, job.port, DefaultPortEnvironment(job.profile), std::move(imagePath), {}};
}

}  // namespace

PrinterActions ProgramPrinterActions(const Profile& profile) {
  PrinterActions actions;
  actions.buildFontSet = [](const FontSetJob& job, const std::string& outputPath) {
    return BuildFontSet(BuildContext(job), outputPath);
  };
  actions.buildLegacyFontSet = [](const FontSetJob& job, const std::string& outputPath) {
    return BuildLegacyFontSet(BuildContext(job), outputPath);
  };
  actions.downloadFontSet = [](const FontSetJob& job) {
    return DownloadFontSet(Request(job, DefaultFontSetPath(job.programFolder))) == DownloadResult::Completed;
  };
  actions.downloadLegacyFontSet = [](const FontSetJob& job) {
    return DownloadLegacyFontSet(Request(job, DefaultLegacyFontSetPath(job.programFolder))) ==
           DownloadResult::Completed;
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
