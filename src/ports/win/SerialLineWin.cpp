// SPDX-License-Identifier: MIT
// The serial line settings of the COM kind on Windows: the DCB fields and the time-outs.
#include <cstring>

#include "ports/PortTypes.h"
#include "ports/win/DeviceBackendsWin.h"

namespace corvelle {
namespace {

BYTE ParityCode(Parity parity) {
  switch (parity) {
    case Parity::Even: return EVENPARITY;
    case Parity::Odd: return ODDPARITY;
    case Parity::None: break;
  }
  return NOPARITY;
}

}  // namespace

std::string ComModeText(const std::string& portName) { return portName + "9600,N,8,1"; }

void SetLineSettings(DCB& dcb, const PortOpenArgs& args) {
  dcb.BaudRate = static_cast<DWORD>(BaudRateAt(args.baudIndex));
  dcb.ByteSize = static_cast<BYTE>(DataBitsAt(args.dataBitsIndex));
  dcb.Parity = ParityCode(ParityAt(args.parityIndex));
  dcb.StopBits = StopBitsAt(args.stopBitsIndex) == 2 ? TWOSTOPBITS : ONESTOPBIT;
  dcb.fBinary = 1;
  dcb.fParity = 1;
  dcb.fOutxCtsFlow = args.ctsFlow & 1;
  dcb.fOutxDsrFlow = 0;
  dcb.fDtrControl = DTR_CONTROL_DISABLE;
  dcb.fDsrSensitivity = 0;
  dcb.fTXContinueOnXoff = 0;
  dcb.fOutX = args.xonXoff & 1;
  dcb.fInX = 1;
  dcb.fErrorChar = 1;
  dcb.fNull = 0;
  dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
  dcb.fAbortOnError = 0;
  dcb.wReserved = 0;
  dcb.XonLim = 16;
  dcb.XoffLim = 32;
  dcb.XonChar = 17;
  dcb.XoffChar = 19;
  dcb.ErrorChar = 32;
  dcb.EofChar = 26;
  dcb.EvtChar = 12;
}

COMMTIMEOUTS LineTimeouts() {
  COMMTIMEOUTS t{};
  t.ReadIntervalTimeout = 100;
  t.ReadTotalTimeoutMultiplier = 100;
  t.ReadTotalTimeoutConstant = 1;
  t.WriteTotalTimeoutMultiplier = 0;
  t.WriteTotalTimeoutConstant = 0;
  return t;
}

DWORD DcbFlagWord(const DCB& dcb) {
  // The flag bits follow BaudRate as one 32-bit word.
  DWORD word = 0;
  std::memcpy(&word, reinterpret_cast<const unsigned char*>(&dcb) + offsetof(DCB, BaudRate) + sizeof dcb.BaudRate,
              sizeof word);
  return word;
}

}  // namespace corvelle
