// SPDX-License-Identifier: MIT
// The serial (COM) and parallel (LPT) kinds: system character devices written without waiting
// for the transmission.
#pragma once

#include <termios.h>

#include <memory>
#include <string>
#include <string_view>

#include "ports/PortBackend.h"

namespace corvelle {

// True for "COM" followed by a number of at least 1 and then nothing or ":" ("COM1", "COM12:").
// Any other COM name is refused with "Device opening error (c1).".
bool IsValidComName(std::string_view portName);

// The line discipline the COM kind asks for, applied to `t` (read from the device first):
// raw bytes, the table's baud rate, parity, data and stop bits, CTS control of the output when
// bit 0 of ctsFlow is set, XON/XOFF control of the output when bit 0 of xonXoff is set, XON/XOFF
// control of the input always, XON 17 and XOFF 19.
void SetLineDiscipline(termios& t, const PortOpenArgs& args);

std::unique_ptr<PortBackend> MakeSerialBackend(PortContext& context);
std::unique_ptr<PortBackend> MakeParallelBackend(PortContext& context);

}  // namespace corvelle
