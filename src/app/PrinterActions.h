// SPDX-License-Identifier: MIT
// What the main window asks of the font set builders, the downloads and the printer commands. The
// window calls these functions and nothing else of those rooms, so that the program's own are
// joined in one place (ProgramPrinterActions) and tests put recorders in their place.
#pragma once

#include <functional>
#include <string>

#include "ports/PortSettings.h"
#include "app/CommPortDlg.h"

namespace corvelle {

class Host;
class Profile;
enum class DownloadResult;

// What one build or download works with.
struct FontSetJob {
  Host& host;
  const Profile& profile;     // the stored selection, and the port device mapping
  std::string programFolder;  // FontExt/ is here; default images go beside it
  PortSettings port;          // the window's settings when the job started
};

// Builds the image into `outputPath` (empty: the default image file). True when it was written;
// false after the builder has told the user why.
using BuildFunction = std::function<bool(const FontSetJob& job, const std::string& outputPath)>;
// Sends the default image to the printer with its progress window and STOP.
using DownloadFunction = std::function<bool(const FontSetJob& job)>;

struct PrinterActions {
  BuildFunction buildFontSet;
  BuildFunction buildLegacyFontSet;
  DownloadFunction downloadFontSet;
  DownloadFunction downloadLegacyFontSet;
  SetComPortCommand setComPort;
};

// What a download function answers for a download that ended with `result`: true when it
// completed. A download that STOP ended says "Download stopped." (its progress window has gone by
// then), as corvelle-cli does.
bool DownloadFinished(Host& host, DownloadResult result);

// The program's builders, downloads and "Set COM port" command; ports are found through the
// device mapping of `profile`.
PrinterActions ProgramPrinterActions(const Profile& profile);

}  // namespace corvelle
