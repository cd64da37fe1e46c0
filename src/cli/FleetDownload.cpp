// SPDX-License-Identifier: MIT
// Serving several printers at once.
#include "cli/FleetDownload.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "base/History.h"
#include "base/Paths.h"
#include "base/Sha256.h"
#include "base/StopSignal.h"
#include "cli/FleetHost.h"
#include "cli/PollWait.h"
#include "download/DownloadRecord.h"
#include "ports/TcpBackend.h"

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

// The history as target `index`'s records go into it: stamped with its inventory row, if any.
std::optional<DownloadHistory> PrinterHistory(const FleetJob& job, std::size_t index) {
  if (!job.history) return std::nullopt;
  const FleetTarget& target = job.targets[index];
  const FleetGroup& group = job.groups[target.group];
  return job.history->Labelled({target.name, target.site, group.selectionPath.empty() ? "" : FileNamePart(group.selectionPath),
                                group.selectionSha256});
}

// `text` with its tabs and line ends as blanks.
std::string OneField(std::string text) {
  for (char& c : text) {
    if (c == '\t' || c == '\n' || c == '\r') c = ' ';
  }
  return text;
}

// One download to target `index`, recorded in `history`; `mayPass` tells whether its failure may
// pass by itself (FailureMayPass of what it said last).
FleetResult ServeOnce(const FleetJob& job, std::size_t index, FleetHost& host, DownloadHistory* history,
                      bool& mayPass) {
  FleetStatus& status = *job.status;
  const FleetGroup& group = job.groups[job.targets[index].group];
  mayPass = false;
  FileHandle image = group.image->Open();
  if (!image.IsOpen()) {
    std::string text = "Error opening font set image\n" + group.imagePath + " (" + image.ErrorText() + ")";
    host.ShowMessage(text, MessageStyle::Plain);
    if (const std::string problem = RecordUnserved(job, index, {DownloadResult::Failed, text}); !problem.empty()) {
      host.ShowMessage(problem, MessageStyle::Plain);
      text = problem;
    }
    return {DownloadResult::Failed, OneField(text)};
  }
  const PortSettings settings = TargetSettings(job, index);
  const auto onStep = [&status, index](const DownloadStep& step) { status.Step(index, step); };
  DownloadRequest request{host,   settings, job.environment, group.imagePath,
                          onStep, &image,   history,         job.waitForPrinter};
  // Every printer of the group is sent the snapshot's bytes, hashed once for all of them.
  request.sentDigest = [&group](std::int64_t bytes) { return group.image->Digest(bytes); };
  const DownloadEnd end = group.legacy ? DownloadLegacyFontSet(request) : DownloadFontSet(request);
  switch (end.result) {
    case DownloadResult::Completed: return {end.result, "", 1, 1, end.said.detail};
    case DownloadResult::Cancelled:
      status.Message(index, kDownloadStoppedText);
      return {end.result, kDownloadStoppedText};
    case DownloadResult::Failed: break;
  }
  mayPass = FailureMayPass(end.said.message);
  const std::string message = OneField(end.said.message);
  return {end.result, message.empty() ? std::string("The download failed.") : message, 1, 1, end.said.detail};
}

// Serves target `index` its group's image; a failure that may pass is tried again, after a wait
// that doubles each time, as often as --retry allows. STOP ends a wait at once.
FleetResult ServePrinter(const FleetJob& job, std::size_t index) {
  const FleetGroup& group = job.groups[job.targets[index].group];
  if (!group.image) {
    const FleetResult failed{DownloadResult::Failed, group.failure};
    if (const std::string problem = RecordUnserved(job, index, failed); !problem.empty()) {
      job.status->Message(index, problem);
    }
    return failed;
  }
  std::optional<DownloadHistory> history = PrinterHistory(job, index);
  const int allowed = job.retries + 1;
  for (int attempt = 1;; ++attempt) {
    FleetHost host(*job.status, index, *job.stop);
    bool mayPass = false;
    FleetResult result = ServeOnce(job, index, host, history ? &*history : nullptr, mayPass);
    result.attempts = attempt;
    result.allowed = allowed;
    if (result.result != DownloadResult::Failed || attempt == allowed || !mayPass) return result;
    const std::int64_t waitMs = RetryWaitMs(job.retryWaitMs, attempt);
    job.status->Message(index, "trying again in " + std::to_string((waitMs + 999) / 1000) + " s (attempt " +
                                   std::to_string(attempt + 1) + " of " + std::to_string(allowed) + ")");
    host.WaitFor(waitMs);
    if (job.stop->Raised()) {
      job.status->Message(index, kDownloadStoppedText);
      return {DownloadResult::Cancelled, kDownloadStoppedText, attempt, allowed};
    }
  }
}

}  // namespace

std::vector<FleetResult> RunFleet(const FleetJob& job) {
  const std::size_t count = job.targets.size();
  std::vector<FleetResult> results(count);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t index; (index = next.fetch_add(1)) < count;) {
      if (job.stop->Raised()) {
        results[index] = {DownloadResult::Cancelled, kDownloadStoppedText};
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

std::int64_t RetryWaitMs(std::int64_t firstMs, int attempt) {
  std::int64_t wait = std::clamp<std::int64_t>(firstMs, 0, kMaxRetryWaitMs);
  for (int i = 1; i < attempt && wait < kMaxRetryWaitMs; ++i) wait = std::min(wait * 2, kMaxRetryWaitMs);
  return wait;
}

int PrintersAtOnce(int jobs, std::size_t freeDescriptors) {
  const std::size_t room = freeDescriptors > kSpareDescriptors ? freeDescriptors - kSpareDescriptors : 0;
  return static_cast<int>(std::clamp<std::size_t>(room / kDescriptorsPerPrinter, 1, static_cast<std::size_t>(std::max(jobs, 1))));
}

int DefaultJobs(std::size_t printers) {
  return static_cast<int>(std::clamp<std::size_t>(printers, 1, kDefaultJobsCap));
}

std::string RoundsNotice(std::size_t printers, int atOnce, bool descriptorBound) {
  const std::size_t each = static_cast<std::size_t>(std::max(atOnce, 1));
  if (printers <= each) return "";
  const std::size_t rounds = (printers + each - 1) / each;
  std::string text = "corvelle-cli: " + std::to_string(printers) + " printers in " + std::to_string(rounds) +
                     " rounds of up to " + std::to_string(each) + "; ";
  if (descriptorBound) return text + "a higher open-file limit (ulimit -n) serves more at once";
  const std::size_t most = std::min<std::size_t>(printers, kMaxJobs);
  return text + "--jobs " + std::to_string(most) + " serves " +
         (most == printers ? std::string("them all at once") : "the most at once");
}

std::string RecordUnserved(const FleetJob& job, std::size_t index, const FleetResult& result) {
  std::optional<DownloadHistory> history = PrinterHistory(job, index);
  if (!history) return "";
  const PortSettings settings = TargetSettings(job, index);
  return history->Append(AttemptRecord({settings, job.environment, job.groups[job.targets[index].group].imagePath,
                                        result.result, 0, Sha256().HexDigest()},
                                       {}, result.message));
}

std::string ResultLines(const std::vector<FleetTarget>& targets, const std::vector<FleetResult>& results,
                        bool labelled) {
  std::string text;
  for (std::size_t i = 0; i < targets.size() && i < results.size(); ++i) {
    const FleetResult& result = results[i];
    text += targets[i].Name() + "\t" + ResultWord(result.result);
    if (result.attempts > 1) {
      text += " (attempt " + std::to_string(result.attempts) + " of " + std::to_string(result.allowed) + ")";
    }
    text += "\t" + result.message;
    // Tabs and line ends in a spreadsheet's cell would break the line into other fields.
    if (labelled) text += "\t" + OneField(targets[i].name) + "\t" + OneField(targets[i].site);
    text += "\n";
  }
  return text;
}

}  // namespace corvelle::cli
