// SPDX-License-Identifier: MIT
// Serving several printers at once.
#include "cli/FleetDownload.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "base/History.h"
#include "base/Sha256.h"
#include "base/StopSignal.h"
#include "cli/FleetHost.h"
#include "cli/PollWait.h"
#include "download/DownloadRecord.h"

namespace corvelle::cli {
namespace {

// The stored settings with the port kind and the address of target `index`.
PortSettings TargetSettings(const FleetJob& job, std::size_t index) {
  PortSettings settings = job.settings;
  settings.portName = "TCP/IP";
  settings.ipAddress = job.targets[index].ServedAddress();
  settings.ipPort = job.targets[index].port;
  return settings;
}

FleetResult ServePrinter(const FleetJob& job, std::size_t index) {
  FleetStatus& status = *job.status;
  FleetHost host(status, index, *job.stop);
  FileHandle image = job.image->Open();
  if (!image.IsOpen()) {
    const std::string text = "Error opening font set image\n" + job.imagePath + " (" + image.ErrorText() + ")";
    host.ShowMessage(text, MessageStyle::Plain);
    if (const std::string problem = RecordUnserved(job, index, {DownloadResult::Failed, text}); !problem.empty()) {
      host.ShowMessage(problem, MessageStyle::Plain);
    }
    return {DownloadResult::Failed, host.LastMessage()};
  }
  const PortSettings settings = TargetSettings(job, index);
  const auto onStep = [&status, index](const DownloadStep& step) { status.Step(index, step); };
  const DownloadRequest request{host,   settings, job.environment, job.imagePath,
                                onStep, &image,   job.history,     job.waitForPrinter};
  const DownloadResult result = job.legacy ? DownloadLegacyFontSet(request) : DownloadFontSet(request);
  switch (result) {
    case DownloadResult::Completed: return {result, "", host.LastDetail()};
    case DownloadResult::Cancelled: status.Message(index, kStoppedText); return {result, kStoppedText};
    case DownloadResult::Failed: break;
  }
  return {result, host.LastMessage().empty() ? std::string("The download failed.") : host.LastMessage(),
          host.LastDetail()};
}

}  // namespace

std::vector<FleetResult> RunFleet(const FleetJob& job) {
  const std::size_t count = job.targets.size();
  std::vector<FleetResult> results(count);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t index; (index = next.fetch_add(1)) < count;) {
      if (job.stop->Raised()) {
        results[index] = {DownloadResult::Cancelled, kStoppedText};
        if (const std::string problem = RecordUnserved(job, index, results[index]); !problem.empty()) {
          job.status->Message(index, problem);
        }
      } else {
        const std::int64_t start = SteadyNowMs();
        results[index] = ServePrinter(job, index);
        results[index].seconds = static_cast<double>(SteadyNowMs() - start) / 1000;
      }
      const DownloadResult result = results[index].result;
      job.status->Finish(index, result == DownloadResult::Completed   ? PrinterPhase::Done
                                : result == DownloadResult::Cancelled ? PrinterPhase::Stopped
                                                                      : PrinterPhase::Failed);
    }
  };
  const std::size_t threads = std::min<std::size_t>(count, static_cast<std::size_t>(std::max(job.jobs, 1)));
  std::vector<std::thread> workers;
  workers.reserve(threads);
  for (std::size_t i = 0; i < threads; ++i) workers.emplace_back(work);
  for (std::thread& worker : workers) worker.join();
  return results;
}

int PrintersAtOnce(int jobs, std::size_t freeDescriptors) {
  const std::size_t room = freeDescriptors > kSpareDescriptors ? freeDescriptors - kSpareDescriptors : 0;
  return static_cast<int>(std::clamp<std::size_t>(room / kDescriptorsPerPrinter, 1, static_cast<std::size_t>(std::max(jobs, 1))));
}

std::string RecordUnserved(const FleetJob& job, std::size_t index, const FleetResult& result) {
  if (!job.history) return "";
  const PortSettings settings = TargetSettings(job, index);
  return job.history->Append(AttemptRecord({settings, job.environment, job.imagePath, result.result, 0,
                                            Sha256().HexDigest()},
                                           {}, result.message));
}

std::string ResultLines(const std::vector<FleetTarget>& targets, const std::vector<FleetResult>& results) {
  std::string text;
  for (std::size_t i = 0; i < targets.size() && i < results.size(); ++i) {
    text += targets[i].Name() + "\t" + ResultWord(results[i].result) + "\t" + results[i].message + "\n";
  }
  return text;
}

}  // namespace corvelle::cli
