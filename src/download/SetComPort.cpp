// SPDX-License-Identifier: MIT
// The printer's serial set-up command and the "Set COM port" action that sends it.
#include "download/SetComPort.h"

#include <array>
#include <cstdio>

#include "base/Host.h"
#include "ports/DevicePort.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

constexpr int kSpeedPositions = 6;
// The printer's codes for the parity list's none, even, odd.
constexpr std::array<int, 3> kParityCodes = {0, 2, 1};

constexpr const char* kLineBlocked =
    "The printer did not take the command: the serial line stayed blocked. Nothing was changed.";

int InRange(int position, int count, int fallback) { return position >= 0 && position < count ? position : fallback; }

}  // namespace

SerialPositions PositionsOf(const PortSettings& settings) {
  return {settings.speedIndex, settings.parityIndex, settings.dataBitsIndex, settings.stopBitsIndex};
}

void AdoptPositions(PortSettings& settings, const SerialPositions& positions) {
  settings.speedIndex = positions.speedIndex;
  settings.parityIndex = positions.parityIndex;
  settings.dataBitsIndex = positions.dataBitsIndex;
  settings.stopBitsIndex = positions.stopBitsIndex;
}

SerialPositions NormalizedPositions(const SerialPositions& p) {
  const SerialPositions defaults;
  return {InRange(p.speedIndex, kSpeedPositions, defaults.speedIndex),
          InRange(p.parityIndex, static_cast<int>(kParityCodes.size()), defaults.parityIndex),
          InRange(p.dataBitsIndex, 2, defaults.dataBitsIndex), InRange(p.stopBitsIndex, 2, defaults.stopBitsIndex)};
}

std::string SetComCommand(const SerialPositions& positions) {
  const SerialPositions p = NormalizedPositions(positions);
  char command[100] = {};
  const int n = std::snprintf(command, sizeof command, "?A7&%i,%i,%i,%i%c%c", p.speedIndex,
                              kParityCodes[static_cast<std::size_t>(p.parityIndex)], p.dataBitsIndex, p.stopBitsIndex,
                              13, 10);
  return std::string(command, n > 0 ? static_cast<std::size_t>(n) : 0);
}

Result<SerialPositions> SetComPort(const SetComPortRequest& request) {
  Host& host = request.host;

  PortOpenArgs args = MakePortOpenArgs(request.current);
  args.eventMask = 1;
  // An RS-485 line has no handshake wires: hardware flow control is off while RS-485 is on, as
  // the communication dialog shows it.
  if (request.current.rs485On != 0) args.ctsFlow = 0;
  CDevicePort port(host, request.environment);
  if (const Outcome opened = port.Open(args); !opened) {
    host.Show(opened);
    return Outcome::Quiet();
  }

  host.SetBusy(true);
  // The line may be held by flow control for ever: the wait has a limit, and Ctrl-C ends it.
  const std::int64_t start = host.Now();
  bool timedOut = false;
  port.SetCancelCheck([&] {
    if (request.stopRequested && request.stopRequested()) return true;
    timedOut = timedOut || host.Now() - start > kSetComDrainLimitMs;
    return timedOut;
  });
  const SerialPositions chosen = NormalizedPositions(request.chosen);
  const std::string command = SetComCommand(chosen);
  Outcome written = port.WriteText(command.c_str());
  if (written) written = port.DrainOutput();
  host.Show(written);
  bool sent = written.Ok();
  if (!sent) port.Purge();
  // A connection that Close finds lost may not have passed the command on.
  const Outcome closed = port.Close();
  host.Show(closed);
  if (!closed) sent = false;
  host.SetBusy(false);

  if (!sent) {
    if (timedOut) host.ShowMessage(kLineBlocked, MessageStyle::Plain);
    return Outcome::Quiet();
  }
  host.ShowMessage(std::string(LoadStr(IDS_WAIT_AUTORESTART)), MessageStyle::Plain);
  return chosen;
}

}  // namespace corvelle
