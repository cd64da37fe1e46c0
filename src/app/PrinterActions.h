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

class DownloadHistory;
class Host;
class Profile;
struct PortEnvironment;

// What one build or download works with.
struct FontSetJob {
  Host& host;
  const Profile& profile;     // the stored selection, and the port device mapping
  std::string programFolder;  // FontExt/ is here; default images go beside it
  PortSettings port;          // the window's settings when the job started
};

// Builds the image into `outputPath` (empty: the default image file). True when it was written;
// false once the user has been told why.
using BuildFunction = std::function<bool(const FontSetJob& job, const std::string& outputPath)>;
// "Download": checks the port name, asks `confirm` (false ends it there), builds the default image
// (the legacy one when `legacy`) and sends it to the printer with its progress window and STOP.
// True when the download completed.
using DownloadFunction =
    std::function<bool(const FontSetJob& job, bool legacy, const std::function<bool()>& confirm)>;

struct PrinterActions {
  BuildFunction buildFontSet;
  BuildFunction buildLegacyFontSet;
  DownloadFunction download;
  SetComPortCommand setComPort;
};

// The program's "Download" over `environment`, recorded in `history` (nowhere when null): the
// engine's whole build-and-download, as corvelle-cli runs it. A download that STOP ended says
// "Download stopped." (its progress window has gone by then), as corvelle-cli does.
bool DownloadWithEngine(const FontSetJob& job, bool legacy, const std::function<bool()>& confirm,
                        const PortEnvironment& environment, DownloadHistory* history);

// The program's builders, downloads and "Set COM port" command; ports are found through the
// device mapping of `profile`.
PrinterActions ProgramPrinterActions(const Profile& profile);

}  // namespace corvelle
