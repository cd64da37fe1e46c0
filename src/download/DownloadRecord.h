// SPDX-License-Identifier: MIT
// What one download attempt adds to the download history: where it went, how it ended, and the
// digest of the image bytes the printer was sent.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/Outcome.h"
#include "ports/PortEnvironment.h"
#include "ports/PortSettings.h"

namespace corvelle {

class DownloadHistory;
struct DownloadRecord;
enum class DownloadResult;

// Where a download with `settings` goes: ADDR:PORT for TCP/IP, the system device for a serial or
// parallel port, the files chosen for FILE (separated by blanks), the port name otherwise.
std::string DownloadTarget(const PortSettings& settings, const PortEnvironment& environment,
                           const std::vector<std::string>& savedFiles);

// What a stopped download says and records.
inline constexpr const char* kDownloadStoppedText = "Download stopped.";

// ok, stopped or failed.
const char* ResultWord(DownloadResult result);

struct AttemptFacts {
  const PortSettings& settings;
  const PortEnvironment& environment;
  std::string imagePath;
  DownloadResult result;
  std::int64_t bytes = 0;
  std::string sha256;
};

// The attempt as a history record (its time and program are the history's): `message` is the
// last message the user was shown (for a stopped attempt kDownloadStoppedText), `savedFiles` the
// files a FILE port wrote.
DownloadRecord AttemptRecord(const AttemptFacts& facts, const std::vector<std::string>& savedFiles,
                             std::string message);

// Appends the attempt to `history` (nothing when it is null); `said` is the last thing the
// attempt told the user, recorded with its detail on the lines below. A history that cannot be
// written never changes the download's result: its problem is returned, else "".
std::string RecordAttempt(DownloadHistory* history, const AttemptFacts& facts,
                          const std::vector<std::string>& savedFiles, const Outcome& said);

}  // namespace corvelle
