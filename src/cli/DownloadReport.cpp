// SPDX-License-Identifier: MIT
// The JSON report of a download run.
#include "cli/DownloadReport.h"

#include <algorithm>
#include <cstdio>

#include "base/Json.h"
#include "cli/FleetDownload.h"
#include "download/DownloadRecord.h"

namespace corvelle::cli {

std::string PrinterReport::Json() const {
  char time[32];
  std::snprintf(time, sizeof time, "%.3f", seconds);
  return "{\"target\": " + JsonString(target) + ", \"port\": " + JsonString(port) + ", \"result\": " +
         JsonString(result) + ", \"message\": " + JsonString(message) + ", \"detail\": " + JsonString(detail) +
         ", \"bytes\": " + std::to_string(bytes) + ", \"sha256\": " + (sha256.empty() ? "null" : JsonString(sha256)) +
         ", \"seconds\": " + time + "}";
}

PrinterReport ReportOf(const DownloadRecord& record, const std::string& detail, double seconds) {
  PrinterReport report{record.target, record.port, record.result, record.message, detail, record.bytes,
                       record.bytes > 0 ? record.sha256 : "", seconds};
  if (!detail.empty() && report.message.ends_with("\n" + detail)) {
    report.message.resize(report.message.size() - detail.size() - 1);
  } else if (!detail.empty()) {
    // The detail is not below the recorded message (another message came after it): the message
    // stands as it was recorded, with nothing taken from it twice.
    report.detail.clear();
  }
  if (report.result == "stopped" && report.message.empty()) report.message = kDownloadStoppedText;
  return report;
}

std::string RunResult(const std::vector<PrinterReport>& printers) {
  if (printers.empty()) return "failed";
  const auto any = [&printers](const char* word) {
    return std::any_of(printers.begin(), printers.end(), [word](const PrinterReport& p) { return p.result == word; });
  };
  if (any("failed")) return "failed";
  return any("stopped") ? "stopped" : "ok";
}

std::string ReportDocument(const std::vector<PrinterReport>& printers) {
  std::string text = "{\"result\": " + JsonString(RunResult(printers)) + ", \"printers\": [";
  for (std::size_t i = 0; i < printers.size(); ++i) text += (i == 0 ? "\n  " : ",\n  ") + printers[i].Json();
  return text + (printers.empty() ? "]}\n" : "\n]}\n");
}

std::vector<PrinterReport> FleetReports(const std::vector<FleetTarget>& targets, const std::vector<FleetResult>& results,
                                        const std::vector<DownloadRecord>& records) {
  std::vector<PrinterReport> reports;
  for (std::size_t i = 0; i < targets.size() && i < results.size(); ++i) {
    const FleetTarget& target = targets[i];
    // Each printer's attempt is recorded under the address it was served at.
    const std::string served = target.ServedAddress() + ":" + std::to_string(target.port);
    const auto record = std::find_if(records.begin(), records.end(),
                                     [&served](const DownloadRecord& r) { return r.target == served; });
    PrinterReport report =
        record != records.end()
            ? ReportOf(*record, results[i].detail, results[i].seconds)
            : PrinterReport{"", "TCP/IP", ResultWord(results[i].result), results[i].message, "", 0, "", results[i].seconds};
    report.target = target.Name();
    reports.push_back(std::move(report));
  }
  return reports;
}

void RecordCollector::Watch(DownloadHistory& history) {
  history.onAppend = [this](const DownloadRecord& record) {
    std::lock_guard lock(m_mutex);
    m_records.push_back(record);
  };
}

std::vector<DownloadRecord> RecordCollector::Records() const {
  std::lock_guard lock(m_mutex);
  return m_records;
}

}  // namespace corvelle::cli
