// SPDX-License-Identifier: MIT
// "Set COM port": tells the printer, at the line settings it uses now, which serial line
// settings to use from now on, with the printer command "?A7&speed,parity,data,stop" CR LF.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "base/Outcome.h"
#include "ports/PortEnvironment.h"
#include "ports/PortSettings.h"

namespace corvelle {

class Host;

// The four list positions of the serial line: speed 0 "2400" ... 5 "57600", parity 0 none,
// 1 even, 2 odd, data bits 0 seven, 1 eight, stop bits 0 one, 1 two.
struct SerialPositions {
  int speedIndex = 2;
  int parityIndex = 0;
  int dataBitsIndex = 1;
  int stopBitsIndex = 0;

  bool operator==(const SerialPositions&) const = default;
};

SerialPositions PositionsOf(const PortSettings& settings);
void AdoptPositions(PortSettings& settings, const SerialPositions& positions);

// A position outside its list (the communication dialog's empty fourth parity entry, position 3,
// a dialog with nothing selected, an edited profile) becomes the default of that list: 9600,
// none, 8, 1.
SerialPositions NormalizedPositions(const SerialPositions& positions);

// The command bytes for `positions` (normalised first): "?A7&" speed "," parity code "," data
// "," stop, CR, LF, where the parity code is 0 none, 2 even, 1 odd.
std::string SetComCommand(const SerialPositions& positions);

// A printer that does not take the 13 bytes within this time (a serial line held by flow
// control) gets nothing: the command is discarded.
inline constexpr std::int64_t kSetComDrainLimitMs = 10'000;

struct SetComPortRequest {
  Host& host;
  PortEnvironment environment;
  PortSettings current;     // the communication dialog's values: the line the printer uses now
  SerialPositions chosen;   // what the printer serial port setup dialog answered with OK
  // Ends the wait for the line early (Ctrl-C in corvelle-cli); may be empty.
  std::function<bool()> stopRequested;
};

// Opens the port with the current settings (event mask 1, the dialog's two flow-control boxes,
// hardware flow off while RS-485 is on, no output names), sends the command for the chosen
// positions, drains and closes the port, and shows STR 82. When the open fails, or the close
// finds the connection lost, the user is told why and nothing changes. The value is the
// normalised choice, to keep, once the command left the port; a failure has been said already.
Result<SerialPositions> SetComPort(const SetComPortRequest& request);

}  // namespace corvelle
