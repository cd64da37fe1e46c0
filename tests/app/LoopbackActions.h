// SPDX-License-Identifier: MIT
// The program's printer actions for window tests and pictures: the same builders and downloads,
// but only loopback passes the TCP/IP kind's reachability test, so no echo request (which would
// need privileges) is sent and nothing beyond the machine is contacted.
#pragma once

#include "app/PrinterActions.h"
#include "base/Profile.h"
#include "download/Download.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PortEnvironment.h"

namespace corvelle::test {

inline PrinterActions LoopbackActions(const Profile& profile) {
  PrinterActions actions = ProgramPrinterActions(profile);
  actions.downloadFontSet = [&profile](const FontSetJob& job) {
    PortEnvironment environment = DefaultPortEnvironment(profile);
    environment.reachable = [](const std::string& address) { return address == "127.0.0.1"; };
    return DownloadFinished(job.host,
                            DownloadFontSet({job.host, job.port, environment, DefaultFontSetPath(job.programFolder), {}}));
  };
  return actions;
}

}  // namespace corvelle::test
