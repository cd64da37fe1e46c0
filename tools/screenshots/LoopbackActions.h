// SPDX-License-Identifier: MIT
// The program's printer actions for the pictures: the same builders and downloads,
// but only loopback passes the TCP/IP kind's reachability test, so no echo request (which would
// need privileges) is sent and nothing beyond the machine is contacted.
#pragma once

#include "app/PrinterActions.h"
#include "base/Profile.h"
#include "ports/PortEnvironment.h"

namespace corvelle::test {

inline PrinterActions LoopbackActions(const Profile& profile) {
  PrinterActions actions = ProgramPrinterActions(profile);
  actions.download = [&profile](const FontSetJob& job, bool legacy, const std::function<bool()>& confirm) {
    PortEnvironment environment = DefaultPortEnvironment(profile);
    environment.reachable = [](const std::string& address) { return address == "127.0.0.1"; };
    return DownloadWithEngine(job, legacy, confirm, environment, nullptr);
  };
  return actions;
}

}  // namespace corvelle::test
