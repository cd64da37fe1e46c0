// SPDX-License-Identifier: MIT
// A download to several TCP/IP printers at once: the image built once and frozen, then every
// printer served its own complete download (echo test, connections, announcements, pauses and
// chunks) on a thread of its own, at most `jobs` at a time, all ending on the one STOP.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/Outcome.h"
#include "base/UniqueFd.h"
#include "catalogue/FontSelection.h"
#include "cli/FleetStatus.h"
#include "cli/FleetTargets.h"
#include "download/Download.h"
#include "download/DownloadRecord.h"
#include "base/FileHandle.h"

namespace corvelle::cli {

// The bytes of a built image, copied once into a file no one can change (a sealed memory file on
// Linux, a temporary file shared for reading only on Windows): every printer reads its own
// opening of it, so all of them send the same bytes whatever happens to the file on disk.
class ImageSnapshot {
 public:
  // Reads `image` to its end and hashes the copy, or says why it cannot.
  static Result<ImageSnapshot> Take(FileHandle& image);
  // A reading of the snapshot from its start (not open when the system refuses one).
  FileHandle Open() const;
  // The SHA-256 of the snapshot's first `bytes` bytes. The whole image's was worked out when it
  // was taken, so that a thousand printers sent it cost one hash; a shorter part (a download
  // that ended early) is read again. Empty when that reading fails: no digest rather than a
  // wrong one.
  std::string Digest(std::int64_t bytes) const;

 private:
  ImageSnapshot(UniqueFd fd, std::string path) : m_fd(std::move(fd)), m_path(std::move(path)) {}
  // The platform's side. A new empty file for the copy, `path` where each opening of it is made:
  // not valid (errno set) when none can be made. `kKeepFailure` says why a copy could not be kept.
  static UniqueFd CreateCopy(std::string& path);
  static const char* const kKeepFailure;
  // Makes the full copy unchangeable where the system can, or says why it cannot.
  static Outcome Seal(const UniqueFd& fd);

  UniqueFd m_fd;       // the snapshot's own descriptor, held for its whole life
  std::string m_path;  // where each new opening of it is made
  std::int64_t m_length = 0;
  std::string m_digest;  // of all m_length bytes
};

// One image of a run and how it came about: each distinct selection and form is built once and
// served to the targets whose `group` names it.
struct FleetGroup {
  std::optional<FontSelection> selection;  // read from `selectionPath`; nullopt: the stored selection
  std::string selectionPath;               // the .kvf ("" for the stored selection)
  std::string selectionSha256;             // of the .kvf's bytes
  bool legacy = false;
  std::string imagePath;                   // named in messages about reading the image
  const ImageSnapshot* image = nullptr;    // null when it was not built: its targets fail with `failure`
  std::string failure;
};

// Waits between the attempts on a printer: --retry-wait's default, and the longest wait however
// often it has doubled.
inline constexpr std::int64_t kDefaultRetryWaitMs = 30000;
inline constexpr std::int64_t kMaxRetryWaitMs = 600000;
inline constexpr int kMaxRetries = 10;
// The wait after failed attempt `attempt` (from 1): `firstMs`, doubled each time, at most kMaxRetryWaitMs.
std::int64_t RetryWaitMs(std::int64_t firstMs, int attempt);

// Printers served at once: at most kMaxJobs; without --jobs every printer given, up to
// kDefaultJobsCap, so that a run takes one printer's time unless the site asks to spare its network.
inline constexpr int kMaxJobs = 1024;
inline constexpr int kDefaultJobsCap = 256;
int DefaultJobs(std::size_t printers);

// What a run says once on stderr when its printers take more than one round of `atOnce`; "" for
// one round. `descriptorBound`: the open-file limit, not --jobs, held it to `atOnce`.
std::string RoundsNotice(std::size_t printers, int atOnce, bool descriptorBound);

struct FleetJob {
  std::vector<FleetTarget> targets;
  int jobs = kDefaultJobsCap;   // printers served at once
  PortSettings settings;        // the stored settings; the port kind and address are each target's
  PortEnvironment environment;
  std::vector<FleetGroup> groups{1};  // the images, at least the one of the stored selection
  int retries = 0;              // further attempts on a printer whose failure may pass
  std::int64_t retryWaitMs = kDefaultRetryWaitMs;
  bool labelled = false;        // an inventory's run: result lines carry each row's name and site
  const StopSignal* stop = nullptr;
  FleetStatus* status = nullptr;
  DownloadHistory* history = nullptr;  // where every printer's attempt is recorded (null: nowhere)
  bool waitForPrinter = false;         // a printer another download holds is waited for
};

struct FleetResult {
  DownloadResult result = DownloadResult::Failed;
  std::string message;  // the printer's last message; empty for a completed download
  int attempts = 1;     // downloads begun on the printer
  int allowed = 1;      // how many it could have had
  std::string detail = {};  // the lines shown below its last message ("" when none)
  double seconds = 0;       // how long its download took
};


// What one printer served holds open at once: its reading of the image and its printer lock for
// the whole download, and one of the echo test's socket, the connection or the history file
// while its record is appended (each is closed before the next is opened).
inline constexpr std::size_t kDescriptorsPerPrinter = 3;
// Left over for the rest of the run: name lookups, the profile, the terminal.
inline constexpr std::size_t kSpareDescriptors = 16;
// How many printers can be served at once with `freeDescriptors` left to open: `jobs` at most,
// one at least.
int PrintersAtOnce(int jobs, std::size_t freeDescriptors);

// Serves every target; the results in the targets' order. Once STOP is raised no printer starts
// and those not started are stopped.
std::vector<FleetResult> RunFleet(const FleetJob& job);

// Records an attempt on target `index` that ended before anything was sent to it: the image was
// not built, STOP came before its turn, its reading of the image was refused. The history's
// problem the first time it cannot be written, else "".
std::string RecordUnserved(const FleetJob& job, std::size_t index, const FleetResult& result);

// "ADDR:PORT\tok\t\n", "...\tfailed\tmessage\n", "...\tstopped\tmessage\n" per target; after more
// than one attempt the word is followed by " (attempt 2 of 3)", and with `labelled` each line
// ends in two more fields, "\tNAME\tSITE".
std::string ResultLines(const std::vector<FleetTarget>& targets, const std::vector<FleetResult>& results,
                        bool labelled = false);

}  // namespace corvelle::cli
