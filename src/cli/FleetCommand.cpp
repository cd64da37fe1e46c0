// SPDX-License-Identifier: MIT
// The command-line side of a download to several printers.
#include "cli/FleetCommand.h"

#include <iostream>

#include "cli/DownloadReport.h"
#include "cli/StatusLine.h"
#include "cli/TerminalHost.h"
#include "base/History.h"
#include "fontset/FontSetBuilder.h"

namespace corvelle::cli {
namespace {

// What stdout gets at the end: the result lines, or the JSON report made from the records.
void PrintResults(const FleetJob& job, const std::vector<FleetResult>& results, const RecordCollector* records) {
  std::cout << (records ? ReportDocument(FleetReports(job.targets, results, records->Records()))
                        : ResultLines(job.targets, results))
            << std::flush;
}

// Every target with the same result, each recorded, when nothing could be sent to any.
int EveryTarget(const FleetJob& job, DownloadResult result, const std::string& message,
                const RecordCollector* records) {
  std::vector<FleetResult> results(job.targets.size(), FleetResult{result, message});
  for (std::size_t index = 0; index < results.size(); ++index) {
    if (const std::string problem = RecordUnserved(job, index, results[index]); !problem.empty()) {
      std::cerr << problem << std::endl;
    }
  }
  PrintResults(job, results, records);
  return kExitFailed;
}

}  // namespace

int RunFleetDownload(CliContext& context, const Profile& profile, FleetJob job, bool json) {
  RaiseOpenFileLimit();
  const StopSignal& stop = *context.host.Stop();
  DownloadHistory history("corvelle-cli");
  RecordCollector collector;
  const RecordCollector* records = json ? &collector : nullptr;
  if (json) collector.Watch(history);
  job.history = &history;
  const FontSetBuildContext build{context.host, profile, context.programFolder, [&stop] { return stop.Raised(); }};
  FileHandle image;
  const bool built = job.legacy ? BuildLegacyFontSet(build, "", &job.imagePath, &image)
                                : BuildFontSet(build, "", &job.imagePath, &image);
  if (!built) {
    if (job.imagePath.empty()) {
      job.imagePath = job.legacy ? DefaultLegacyFontSetPath(context.programFolder) : DefaultFontSetPath(context.programFolder);
    }
    if (stop.Raised()) return EveryTarget(job, DownloadResult::Cancelled, kStoppedText, records);
    return EveryTarget(job, DownloadResult::Failed, "The font set image was not built.", records);
  }
  std::string error;
  const std::optional<ImageSnapshot> snapshot = ImageSnapshot::Take(image, error);
  if (!snapshot) {
    std::cerr << error << std::endl;
    return EveryTarget(job, DownloadResult::Failed, error, records);
  }
  // Counted once the image and its snapshot are open: they stay open for the whole run.
  if (const int atOnce = PrintersAtOnce(job.jobs, FreeDescriptors()); atOnce < job.jobs) {
    if (static_cast<std::size_t>(atOnce) < job.targets.size()) {
      std::cerr << "corvelle-cli: serving " << atOnce << " printers at a time, not " << job.jobs
                << ": the open-file limit allows no more" << std::endl;
    }
    job.jobs = atOnce;
  }
  std::vector<std::string> names;
  for (const FleetTarget& target : job.targets) names.push_back(target.Name());
  std::vector<FleetResult> results;
  {
    FleetStatus status(
        std::move(names), std::cerr, IsSmartTerminal(kStandardError),
        [] { return static_cast<int>(TerminalColumns(kStandardError)); }, context.host.quiet);
    job.image = &*snapshot;
    job.stop = &stop;
    job.status = &status;
    results = RunFleet(job);
  }
  PrintResults(job, results, records);
  for (const FleetResult& result : results) {
    if (result.result != DownloadResult::Completed) return kExitFailed;
  }
  return kExitOk;
}

}  // namespace corvelle::cli
