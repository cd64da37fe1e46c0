// SPDX-License-Identifier: MIT
// What `download --json` prints at the end of a run: one JSON document with every printer's
// attempt (where it went, how it ended, what it was sent and how long it took) and the run's
// result, built from the history records the run's attempts leave.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "base/History.h"
#include "cli/FleetDownload.h"

namespace corvelle::cli {

struct PrinterReport {
  std::string target;   // as the text output names it: ADDR:PORT, the device or the output files
  std::string port;     // TCP/IP, COM1:, FILE, ...
  std::string result;   // ok, stopped or failed
  std::string message;  // the last message shown, without the detail lines below it
  std::string detail;   // those lines ("" when there were none)
  std::int64_t bytes = 0;
  std::string sha256;   // of the bytes sent; "" when none was (null in the document)
  double seconds = 0;   // from the start of this printer's attempt to its end

  // One object of the document's "printers" array.
  std::string Json() const;
};

// The report of an attempt from its history record and the detail lines shown below its last
// message (the record holds the message and the detail as one text).
PrinterReport ReportOf(const DownloadRecord& record, const std::string& detail, double seconds);

// ok when every printer is ok, failed when any failed (or there is none), else stopped.
std::string RunResult(const std::vector<PrinterReport>& printers);

// The report of every target of a download to several printers, in the targets' order, each
// named as its result line names it.
std::vector<PrinterReport> FleetReports(const std::vector<FleetTarget>& targets, const std::vector<FleetResult>& results,
                                        const std::vector<DownloadRecord>& records);

// {"result": ..., "printers": [{...}, ...]} and a newline.
std::string ReportDocument(const std::vector<PrinterReport>& printers);

// The records a run's history is given, from any number of threads.
class RecordCollector {
 public:
  // Makes `history` tell this collector each record it appends.
  void Watch(DownloadHistory& history);
  // The records so far, in the order they came.
  std::vector<DownloadRecord> Records() const;

 private:
  mutable std::mutex m_mutex;
  std::vector<DownloadRecord> m_records;
};

}  // namespace corvelle::cli
