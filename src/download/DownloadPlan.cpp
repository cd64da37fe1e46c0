// SPDX-License-Identifier: MIT
// Areas, announcements, the state sequence and progress positions of a download.
#include "download/DownloadPlan.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>

#include "fontset/FontSetFormat.h"

namespace corvelle {

std::vector<ImageArea> SplitImage(std::int64_t total, DownloadForm form) {
  const auto boundary = static_cast<std::int64_t>(AREA_BOUNDARY);
  if (form == DownloadForm::Legacy || total <= boundary) return {{1, 0, total, 0}};
  return {{1, 0, boundary, total - boundary}, {2, boundary, total - boundary, 0}};
}

std::string Announcement(std::string_view prefix, std::int64_t length) {
  char text[48];
  const int n = std::snprintf(text, sizeof text, "%.*s%" PRId64 "%c", static_cast<int>(prefix.size()), prefix.data(),
                              length, 10);
  return std::string(text, n > 0 ? static_cast<std::size_t>(n) : 0);
}

std::string Announcement(const ImageArea& area) {
  return Announcement(area.number == 1 ? kFirstAreaPrefix : kSecondAreaPrefix, area.length);
}

std::vector<DownloadStep> PlanDownload(const std::vector<ImageArea>& areas) {
  std::vector<DownloadStep> plan;
  const int count = static_cast<int>(areas.size());
  for (const ImageArea& area : areas) {
    if (area.number > 1) plan.push_back({DownloadState::Pausing, 0, count, 0, kAreaPauseExceeds});
    plan.push_back({DownloadState::Opening, area.number, count, area.length, 0});
    plan.push_back({DownloadState::Announcing, area.number, count, area.length, 0});
    plan.push_back({DownloadState::Pausing, 0, count, 0, kAnnouncementPauseExceeds});
    plan.push_back({DownloadState::Opening, area.number, count, area.length, 0});
    plan.push_back({DownloadState::Sending, area.number, count, area.length, 0});
  }
  return plan;
}

int ProgressPosition(std::int64_t total, const ImageArea& area, std::int64_t remaining) {
  if (total <= 0) return 0;
  return static_cast<int>((total - area.following - remaining) * 100 / total);
}

int SecondsLeft(const std::vector<DownloadStep>& plan, std::size_t next, std::int64_t pauseLeftMs,
                std::int64_t bytesLeft, double bytesPerSecond) {
  std::int64_t ms = std::max<std::int64_t>(pauseLeftMs, 0) + (kFinalPauseExceeds + 1) * 1000;
  for (std::size_t i = next; i < plan.size(); ++i) {
    if (plan[i].state == DownloadState::Pausing) ms += (plan[i].pauseExceeds + 1) * 1000;
  }
  if (bytesPerSecond > 0 && bytesLeft > 0) ms += static_cast<std::int64_t>(static_cast<double>(bytesLeft) * 1000 / bytesPerSecond);
  return static_cast<int>((ms + 999) / 1000);
}

std::string DescribeStep(const DownloadStep& step) {
  const std::string what =
      step.areas > 1 ? "area " + std::to_string(step.area) + " of " + std::to_string(step.areas) : "the image";
  const std::string size = " (" + std::to_string(step.bytes) + " bytes)";
  switch (step.state) {
    case DownloadState::Opening: return "Opening the port";
    case DownloadState::Announcing: return "Announcing " + what + size;
    case DownloadState::Pausing: return "Waiting " + std::to_string(step.pauseExceeds + 1) + " s";
    case DownloadState::Sending: return "Sending " + what + size;
    case DownloadState::Ending: return "Ending";
  }
  return {};
}

}  // namespace corvelle
