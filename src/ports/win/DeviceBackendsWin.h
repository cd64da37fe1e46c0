// SPDX-License-Identifier: MIT
// The serial (COM) and parallel (LPT) kinds on Windows, and the serial line settings they apply.
#pragma once

#include <windows.h>

#include <memory>
#include <string>

#include "ports/PortBackend.h"

namespace corvelle {

// The mode text BuildCommDCBA checks before a COM port is set up: the port name followed by
// "9600,N,8,1" ("COM1:" gives "COM1:9600,N,8,1", "COM1" gives "COM19600,N,8,1").
std::string ComModeText(const std::string& portName);

// The line settings the COM kind asks for, applied to `dcb` as read from the port: the table's
// baud rate, data bits, parity and stop bits; binary with parity checking; CTS control of the
// output when bit 0 of ctsFlow is set, XON/XOFF control of the output when bit 0 of xonXoff is
// set and of the input always; DTR off, RTS handshake; a space for bytes received with a parity
// error; XON 17 at 16 bytes, XOFF 19 at 32. Every other field, the reserved flag bits among
// them, keeps the value read.
void SetLineSettings(DCB& dcb, const PortOpenArgs& args);

// The time-outs of a COM port: reads give up after 100 ms between bytes, writes never time out.
COMMTIMEOUTS LineTimeouts();

// The flag word of a DCB (fBinary ... fAbortOnError and the reserved bits), as one number.
DWORD DcbFlagWord(const DCB& dcb);

std::unique_ptr<PortBackend> MakeSerialBackend(PortContext& context);
std::unique_ptr<PortBackend> MakeParallelBackend(PortContext& context);

}  // namespace corvelle
