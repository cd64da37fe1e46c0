// SPDX-License-Identifier: MIT
// The shape of one download, worked out before anything is sent: how the image splits into the
// printer's memory areas, the announcements that carry their lengths, the sequence of states the
// transfer goes through, and where the progress bar stands after each chunk.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle {

// Bytes per read of the image and per port write while an area is sent.
inline constexpr std::int64_t SEND_CHUNK = 512;
// The next chunk goes to a serial port only once at most this many bytes are still queued.
inline constexpr long kQueueThreshold = 10;
// Pauses, as the whole elapsed seconds they must exceed: 11 s after an announcement and at the
// end, 26 s between the first area and the second announcement.
inline constexpr std::int64_t kAnnouncementPauseExceeds = 10;
inline constexpr std::int64_t kAreaPauseExceeds = 25;
inline constexpr std::int64_t kFinalPauseExceeds = 10;

inline constexpr std::string_view kFirstAreaPrefix = "?Z:&";
inline constexpr std::string_view kSecondAreaPrefix = "?Z;&";

enum class DownloadForm {
  Current,  // FontSet.SHC: one or two areas split at AREA_BOUNDARY, closing message STR 108
  Legacy,   // FontSet.SHF: the whole image as one area, closing message STR 82
};

// The states of one download.
enum class DownloadState { Opening, Announcing, Pausing, Sending, Ending };

// One area of the image: where its bytes start and how many the announcement promises.
struct ImageArea {
  int number = 1;             // 1 or 2
  std::int64_t offset = 0;    // first byte in the image
  std::int64_t length = 0;    // bytes announced and sent
  std::int64_t following = 0; // bytes of the image after this area (counted as not yet sent)
};

// The areas of an image of `total` bytes: one for the legacy form, and for the current form a
// second one when total > AREA_BOUNDARY (compared as signed numbers).
std::vector<ImageArea> SplitImage(std::int64_t total, DownloadForm form);

// "%s%i%c": the prefix, the length in decimal without leading zeros, and a line feed.
std::string Announcement(std::string_view prefix, std::int64_t length);
// The announcement of `area` (first or second prefix by its number).
std::string Announcement(const ImageArea& area);

// One state of the sequence, with what it works on.
struct DownloadStep {
  DownloadState state = DownloadState::Opening;
  int area = 0;               // the area announced or sent next (Opening, Announcing, Sending)
  int areas = 1;              // how many areas the image has
  std::int64_t bytes = 0;     // that area's length (Announcing, Sending)
  std::int64_t pauseExceeds = 0;  // Pausing: whole seconds the pause must exceed
};

// Opening, Announcing, Pausing, Opening, Sending for every area, with the 26-second pause
// between two areas; Ending is not part of the list (every download ends with it).
std::vector<DownloadStep> PlanDownload(const std::vector<ImageArea>& areas);

// The bar after a chunk: (total - following - remaining) * 100 / total, truncated. Each chunk
// counts SEND_CHUNK bytes, so `remaining` may be negative after the last one and the position
// may pass 100. 0 for an empty image.
int ProgressPosition(std::int64_t total, const ImageArea& area, std::int64_t remaining);

// About how many whole seconds a download still needs: the pauses of `plan` from step `next` on
// and the final wait, each counted whole, plus `pauseLeftMs` of a pause under way and `bytesLeft`
// bytes at `bytesPerSecond` (0 when the rate is not known yet: the sending is left out).
int SecondsLeft(const std::vector<DownloadStep>& plan, std::size_t next, std::int64_t pauseLeftMs,
                std::int64_t bytesLeft, double bytesPerSecond);

// A line describing `step` for a terminal ("Sending area 1 of 2 (1376256 bytes)").
std::string DescribeStep(const DownloadStep& step);

}  // namespace corvelle
