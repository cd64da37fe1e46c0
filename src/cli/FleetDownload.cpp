// SPDX-License-Identifier: MIT
// Serving several printers at once.
#include "cli/FleetDownload.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <thread>

#include "base/StopSignal.h"
#include "cli/FleetHost.h"
#include "download/DownloadRecord.h"

namespace corvelle::cli {
namespace {

bool WriteAll(int fd, const char* bytes, std::size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd, bytes, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    size -= static_cast<std::size_t>(n);
  }
  return true;
}

FleetResult ServePrinter(const FleetJob& job, std::size_t index) {
  FleetStatus& status = *job.status;
  const FleetTarget& target = job.targets[index];
  FleetHost host(status, index, *job.stop);
  FileHandle image = job.image->Open();
  if (!image.IsOpen()) {
    const std::string text = "Error opening font set image\n" + job.imagePath + " (" + image.ErrorText() + ")";
    host.ShowMessage(text, MessageStyle::Plain);
    return {DownloadResult::Failed, host.LastMessage()};
  }
  PortSettings settings = job.settings;
  settings.portName = "TCP/IP";
  settings.ipAddress = target.address;
  settings.ipPort = target.port;
  const auto onStep = [&status, index](const DownloadStep& step) { status.Step(index, step); };
  const DownloadRequest request{host, settings, job.environment, job.imagePath, onStep, &image, job.history};
  const DownloadResult result = job.legacy ? DownloadLegacyFontSet(request) : DownloadFontSet(request);
  switch (result) {
    case DownloadResult::Completed: return {result, ""};
    case DownloadResult::Cancelled: status.Message(index, kStoppedText); return {result, kStoppedText};
    case DownloadResult::Failed: break;
  }
  return {result, host.LastMessage().empty() ? std::string("The download failed.") : host.LastMessage()};
}

}  // namespace

std::optional<ImageSnapshot> ImageSnapshot::Take(FileHandle& image, std::string& error) {
  UniqueFd fd(::memfd_create("corvelle-image", MFD_CLOEXEC | MFD_ALLOW_SEALING));
  if (!fd.Valid()) {
    error = std::string("cannot keep the image in memory: ") + std::strerror(errno);
    return std::nullopt;
  }
  char buffer[65536];
  for (;;) {
    const long n = image.Read(buffer, sizeof buffer);
    if (n < 0) {
      error = "cannot read the image: " + image.ErrorText();
      return std::nullopt;
    }
    if (n == 0) break;
    if (!WriteAll(fd.Get(), buffer, static_cast<std::size_t>(n))) {
      error = std::string("cannot keep the image in memory: ") + std::strerror(errno);
      return std::nullopt;
    }
  }
  if (::fcntl(fd.Get(), F_ADD_SEALS, F_SEAL_SHRINK | F_SEAL_GROW | F_SEAL_WRITE | F_SEAL_SEAL) != 0) {
    error = std::string("cannot freeze the image in memory: ") + std::strerror(errno);
    return std::nullopt;
  }
  return ImageSnapshot(std::move(fd));
}

FileHandle ImageSnapshot::Open() const {
  // A new opening with an offset of its own: the descriptor's own path in /proc.
  const std::string path = "/proc/self/fd/" + std::to_string(m_fd.Get());
  return FileHandle::Adopt(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
}

std::vector<FleetResult> RunFleet(const FleetJob& job) {
  const std::size_t count = job.targets.size();
  std::vector<FleetResult> results(count);
  std::atomic<std::size_t> next{0};
  const auto work = [&] {
    for (std::size_t index; (index = next.fetch_add(1)) < count;) {
      if (job.stop->Raised()) {
        results[index] = {DownloadResult::Cancelled, kStoppedText};
      } else {
        results[index] = ServePrinter(job, index);
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

std::string ResultLines(const std::vector<FleetTarget>& targets, const std::vector<FleetResult>& results) {
  std::string text;
  for (std::size_t i = 0; i < targets.size() && i < results.size(); ++i) {
    text += targets[i].Name() + "\t" + ResultWord(results[i].result) + "\t" + results[i].message + "\n";
  }
  return text;
}

}  // namespace corvelle::cli
