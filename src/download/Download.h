// SPDX-License-Identifier: MIT
// "Download": sends a font set image to the printer framed by its area announcements, with the
// fixed pauses the printer needs, progress, and STOP. The window and corvelle-cli call the same
// functions; everything they need is passed in, so each call is one complete download.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Outcome.h"
#include "download/DownloadPlan.h"
#include "ports/PortEnvironment.h"
#include "ports/PortSettings.h"

namespace corvelle {

class DownloadHistory;
class FileHandle;
class Host;
class Profile;

enum class DownloadResult {
  Completed,  // every byte sent and the closing message shown
  Cancelled,  // STOP ended it; no closing message
  Failed,     // a build, an open, the image, the progress window or a write failed; the user was told
              // (a cancelled FILE save dialog also ends the download here, silently)
};

// How a download ended, and the last thing it told the user (message and detail: a failure's
// reason, the closing message of a completed one; empty when it said nothing). The window and
// the CLI have been told already; the several-printer run reports `said` on each printer's line.
struct DownloadEnd {
  DownloadResult result = DownloadResult::Failed;
  Outcome said = {};
  // What the attempt said last, as its history record holds it: `said` differs from it only when
  // the record could not be written, which was said after it.
  Outcome attempt = {};

  operator DownloadResult() const { return result; }  // NOLINT(google-explicit-constructor)
};

struct DownloadRequest {
  Host& host;
  PortSettings settings;        // the window's current settings; every open is made from them
  PortEnvironment environment;  // device mapping and seams (DefaultPortEnvironment(profile))
  std::string imagePath;        // DefaultFontSetPath(programFolder) / DefaultLegacyFontSetPath(...)
  // Called as the download enters each state (corvelle-cli shows it); may be empty.
  std::function<void(const DownloadStep&)> onStep;
  // The image as the build left it (open, read from its start); when not given, `imagePath` is
  // opened once, before anything is announced. Either way the announced lengths and the bytes
  // sent come from that one open file, so a build replacing the file meanwhile changes nothing.
  FileHandle* image = nullptr;
  // Where the attempt is recorded, however it ends (nothing is recorded when null).
  DownloadHistory* history = nullptr;
  // The printer is held for the whole download; when another download holds it, this one waits
  // for it (true) or fails at once, before anything is sent (false).
  bool waitForPrinter = false;
  // The SHA-256 of the image's first N bytes, for the record of what was sent, where the caller
  // knows the image cannot change (the fleet's frozen copy, hashed once for all its printers);
  // when empty, the download hashes the bytes as it sends them.
  std::function<std::string(std::int64_t)> sentDigest = {};
};

// FontSet.SHC: "?Z:&" with the first area's length, then (for an image longer than
// AREA_BOUNDARY) "?Z;&" with the rest; 2 or 4 opens; closing message STR 108.
DownloadEnd DownloadFontSet(const DownloadRequest& request);
// FontSet.SHF: one area, 2 opens; closing message STR 82.
DownloadEnd DownloadLegacyFontSet(const DownloadRequest& request);

// Ok when `portName` reaches a port; otherwise the message naming it, so that nothing is built or
// sent for it.
Outcome CheckPortName(const std::string& portName);

// What "Download" works from.
struct DownloadJob {
  Host& host;
  const Profile& profile;      // the stored selection (the builders read nothing else)
  std::string programFolder;
  PortSettings settings;
  PortEnvironment environment;
  bool legacy = false;         // the GN1 check box
  std::function<void(const DownloadStep&)> onStep;
  // Where the attempt is recorded, also when the build or the port name ends it (null: nowhere).
  DownloadHistory* history = nullptr;
  bool waitForPrinter = false;  // as in DownloadRequest
  // Why the download cannot run, when the caller knows it before the build (corvelle-cli's FILE
  // port without an output file): shown and recorded, and nothing is built.
  std::string refusal = {};
  // Asked once the port name has passed, before the build (the window asks which selection
  // goes): false ends the attempt there, silently and unrecorded, since the user chose not to
  // download after all.
  std::function<bool()> confirm = {};
};

// The whole "Download" action, the window's and corvelle-cli's: checks the port name, builds the
// default image from the stored selection (the legacy builder when `legacy`), and when the build
// succeeds sends it with the matching download. Failed without a build for an unknown port name,
// and without a download when the build fails (its reason said once, here); the host's STOP ends
// the build (Cancelled, the old image stays). Every attempt is recorded but one the user declined
// at `confirm`.
DownloadEnd BuildAndDownload(const DownloadJob& job);

}  // namespace corvelle
