// SPDX-License-Identifier: MIT
// The program's builders, downloads and printer commands, joined to the window's actions.
#include "app/PrinterActions.h"

#include <memory>

#include "base/History.h"
#include "base/Host.h"
#include "download/Download.h"
#include "download/DownloadRecord.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PortEnvironment.h"

namespace corvelle {
namespace {

// "Create file to download": the image built into `outputPath`, or why not.
bool BuildInto(const FontSetJob& job, const std::string& outputPath, bool legacy) {
  const FontSetBuildContext context{job.profile, job.programFolder};
  const Result<BuiltImage> built = legacy ? BuildLegacyFontSet(context, outputPath) : BuildFontSet(context, outputPath);
  job.host.Show(built.Failure());
  return static_cast<bool>(built);
}

}  // namespace

bool DownloadWithEngine(const FontSetJob& job, bool legacy, const std::function<bool()>& confirm,
                        const PortEnvironment& environment, DownloadHistory* history) {
  DownloadJob download{job.host, job.profile, job.programFolder, job.port, environment, legacy, {}};
  download.history = history;
  download.confirm = confirm;
  const DownloadResult result = BuildAndDownload(download);
  if (result == DownloadResult::Cancelled) job.host.ShowMessage(kDownloadStoppedText, MessageStyle::Plain);
  return result == DownloadResult::Completed;
}

PrinterActions ProgramPrinterActions(const Profile& profile) {
  PrinterActions actions;
  // One history for the window's whole life, so that a history that cannot be written is said once.
  const auto history = std::make_shared<DownloadHistory>("corvelle");
  actions.buildFontSet = [](const FontSetJob& job, const std::string& outputPath) {
    return BuildInto(job, outputPath, false);
  };
  actions.buildLegacyFontSet = [](const FontSetJob& job, const std::string& outputPath) {
    return BuildInto(job, outputPath, true);
  };
  actions.download = [history](const FontSetJob& job, bool legacy, const std::function<bool()>& confirm) {
    return DownloadWithEngine(job, legacy, confirm, DefaultPortEnvironment(job.profile), history.get());
  };
  actions.setComPort = [&profile](Host& host, const PortSettings& current,
                                  const SerialPositions& chosen) -> std::optional<SerialPositions> {
    const Result<SerialPositions> sent = SetComPort({host, DefaultPortEnvironment(profile), current, chosen, {}});
    if (!sent) return std::nullopt;
    return *sent;
  };
  return actions;
}

}  // namespace corvelle
