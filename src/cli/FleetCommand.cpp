// SPDX-License-Identifier: MIT
// The command-line side of a download to several printers.
#include "cli/FleetCommand.h"

#include <algorithm>
#include <deque>
#include <iostream>

#include "cli/DownloadReport.h"
#include "cli/StatusLine.h"
#include "cli/TerminalHost.h"
#include "base/History.h"
#include "base/Paths.h"
#include "catalogue/SelectionProfile.h"
#include "fontset/FontSetBuilder.h"

namespace corvelle::cli {
namespace {

// What stdout gets at the end: the result lines, or the JSON report made from the records.
void PrintResults(const FleetJob& job, const std::vector<FleetResult>& results, const RecordCollector* records) {
  std::cout << (records ? ReportDocument(FleetReports(job.targets, results, records->Records()))
                        : ResultLines(job.targets, results, job.labelled))
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

// Builds the group's image, from its own selection (the stored one is left as it is) or the
// stored one, and freezes it; else a failure whose message is what its printers are told.
Result<ImageSnapshot> BuildGroup(CliContext& context, const Profile& profile, FleetGroup& group) {
  const StopSignal& stop = *context.host.Stop();
  Profile own = profile;
  if (group.selection) StoreSelectionToProfile(*group.selection, own);
  const FontSetBuildContext build{own, context.programFolder, [&stop] { return stop.Raised(); }};
  Result<BuiltImage> built = group.legacy ? BuildLegacyFontSet(build, "") : BuildFontSet(build, "");
  if (!built) {
    context.host.Show(built.Failure());
    group.imagePath = group.legacy ? DefaultLegacyFontSetPath(context.programFolder)
                                   : DefaultFontSetPath(context.programFolder);
    std::string failure = "The font set image was not built.";
    // A selection of the inventory's says which one and why, the builder's message on one line.
    if (group.selection) {
      std::string why = built.Failure().message;
      std::replace(why.begin(), why.end(), '\n', ' ');
      std::replace(why.begin(), why.end(), '\t', ' ');
      failure = FileNamePart(group.selectionPath) + ": " + (why.empty() ? failure : why);
    }
    return Outcome::Failure(failure);
  }
  group.imagePath = built->path;
  Result<ImageSnapshot> snapshot = ImageSnapshot::Take(built->image);
  if (!snapshot) std::cerr << snapshot.Failure().message << std::endl;
  return snapshot;
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
  // Every image is built and frozen before any printer is served; one that cannot be built
  // fails only its own printers.
  std::deque<ImageSnapshot> snapshots;
  std::vector<bool> used(job.groups.size(), false);
  for (const FleetTarget& target : job.targets) used[target.group] = true;
  for (std::size_t index = 0; index < job.groups.size(); ++index) {
    // An inventory whose every row names its own selection does not build the stored one.
    if (!used[index]) continue;
    FleetGroup& group = job.groups[index];
    if (Result<ImageSnapshot> snapshot = BuildGroup(context, profile, group)) {
      group.image = &snapshots.emplace_back(std::move(*snapshot));
    } else {
      if (stop.Raised()) return EveryTarget(job, DownloadResult::Cancelled, kDownloadStoppedText, records);
      group.failure = snapshot.Failure().message;
    }
  }
  // Counted once the images and their snapshots are open: they stay open for the whole run.
  const int atOnce = PrintersAtOnce(job.jobs, FreeDescriptors());
  const bool descriptorBound = atOnce < job.jobs;
  if (descriptorBound && static_cast<std::size_t>(atOnce) < job.targets.size()) {
    std::cerr << "corvelle-cli: serving " << atOnce << " printers at a time, not " << job.jobs
              << ": the open-file limit allows no more" << std::endl;
  }
  job.jobs = atOnce;
  if (const std::string notice = RoundsNotice(job.targets.size(), atOnce, descriptorBound); !notice.empty()) {
    std::cerr << notice << std::endl;
  }
  std::vector<std::string> names;
  for (const FleetTarget& target : job.targets) names.push_back(target.Name());
  std::vector<FleetResult> results;
  {
    FleetStatus status(
        std::move(names), std::cerr, IsSmartTerminal(kStandardError),
        [] { return static_cast<int>(TerminalColumns(kStandardError)); }, context.host.quiet);
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
