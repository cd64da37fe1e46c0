// SPDX-License-Identifier: MIT
// Download attempts as history records.
#include "download/DownloadRecord.h"

#include "base/History.h"
#include "base/Paths.h"
#include "download/Download.h"
#include "ports/PortTypes.h"

namespace corvelle {

std::string DownloadTarget(const PortSettings& settings, const PortEnvironment& environment,
                           const std::vector<std::string>& savedFiles) {
  const std::string& name = settings.portName;
  switch (KindFromName(name)) {
    case PortKind::TcpIp: return settings.ipAddress + ":" + std::to_string(settings.ipPort);
    case PortKind::Com:
    case PortKind::Lpt: {
      if (IsDevicePathName(name)) return name;
      const std::string device = DevicePath(environment, name.substr(0, 3) + std::to_string(PortNumberFromName(name)));
      return device.empty() ? name : device;
    }
    case PortKind::File: {
      std::string files;
      for (const std::string& file : savedFiles) files += (files.empty() ? "" : " ") + file;
      return files;
    }
    case PortKind::Usb:
    case PortKind::None: break;
  }
  return name;
}

const char* ResultWord(DownloadResult result) {
  switch (result) {
    case DownloadResult::Completed: return "ok";
    case DownloadResult::Cancelled: return "stopped";
    case DownloadResult::Failed: break;
  }
  return "failed";
}

DownloadRecord AttemptRecord(const AttemptFacts& facts, const std::vector<std::string>& savedFiles,
                             std::string message) {
  DownloadRecord record;
  record.port = facts.settings.portName;
  record.target = DownloadTarget(facts.settings, facts.environment, savedFiles);
  record.image = FileNamePart(facts.imagePath);
  record.bytes = facts.bytes;
  record.sha256 = facts.sha256;
  record.result = ResultWord(facts.result);
  // A stop is the last word of an attempt, whatever was shown before it.
  record.message = facts.result == DownloadResult::Cancelled ? std::string(kDownloadStoppedText) : std::move(message);
  return record;
}

std::string RecordAttempt(DownloadHistory* history, const AttemptFacts& facts,
                          const std::vector<std::string>& savedFiles, const Outcome& said) {
  if (!history) return "";
  std::string message = said.message;
  if (!message.empty() && !said.detail.empty()) message += '\n' + said.detail;
  return history->Append(AttemptRecord(facts, savedFiles, std::move(message)));
}

}  // namespace corvelle
