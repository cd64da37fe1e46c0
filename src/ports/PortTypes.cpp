// SPDX-License-Identifier: MIT
// Port names, open arguments and serial line tables.
#include "ports/PortTypes.h"

#include <array>
#include <climits>

#include "ports/PortSettings.h"

namespace corvelle {
namespace {

constexpr std::array<int, 7> kBaudRates = {1200, 2400, 4800, 9600, 19200, 38400, 57600};
constexpr int kDefaultBaudIndex = 3;  // the default settings' position 2, plus 1

template <typename Table>
bool InTable(const Table& table, int index) {
  return index >= 0 && static_cast<std::size_t>(index) < table.size();
}

}  // namespace

PortOpenArgs MakePortOpenArgs(const PortSettings& s) {
  PortOpenArgs a;
  a.portNumber = PortNumberFromName(s.portName);
  a.baudIndex = s.speedIndex < INT_MAX ? s.speedIndex + 1 : INT_MAX;
  a.parityIndex = s.parityIndex;
  a.dataBitsIndex = s.dataBitsIndex;
  a.stopBitsIndex = s.stopBitsIndex;
  a.xonXoff = s.xonXoff;
  a.ctsFlow = s.hardwareFlow;
  a.eventMask = 0;
  a.portName = s.portName;
  a.ipAddress = s.ipAddress;
  a.ipPort = s.ipPort;
  a.echoTest = s.echoTest != 0;
  return a;
}

int PortNumberFromName(std::string_view portName) {
  if (portName.size() <= 3) return 0;
  long long number = 0;
  for (const char c : portName.substr(3)) {
    if (c < '0' || c > '9') break;
    number = number * 10 + (c - '0');
    if (number > INT_MAX) return INT_MAX;
  }
  return static_cast<int>(number);
}

PortKind KindFromName(std::string_view portName) {
  PortKind kind = PortKind::None;
  if (portName.starts_with("COM")) kind = PortKind::Com;
  if (portName.starts_with("LPT")) kind = PortKind::Lpt;
  if (portName.starts_with("FILE")) kind = PortKind::File;
  if (portName.starts_with("TCP/IP")) kind = PortKind::TcpIp;
  if (portName.starts_with("USB")) kind = PortKind::Usb;
  if (IsDevicePathName(portName)) kind = PortKind::Com;
  return kind;
}

bool IsDevicePathName(std::string_view portName) { return portName.starts_with('/'); }

bool IsKnownPortName(std::string_view portName) {
  switch (KindFromName(portName)) {
    case PortKind::None: return false;
    case PortKind::Com:
    case PortKind::Lpt: return IsDevicePathName(portName) || PortNumberFromName(portName) >= 1;
    default: return true;
  }
}

std::string UnknownPortText(std::string_view portName) {
  return "Unknown port \"" + std::string(portName) +
         "\": choose COM1: to COM16:, LPT1:, LPT2:, FILE, TCP/IP, USB or a serial device such as /dev/ttyUSB0.";
}

int BaudRateAt(int baudIndex) {
  return kBaudRates[static_cast<std::size_t>(InTable(kBaudRates, baudIndex) ? baudIndex : kDefaultBaudIndex)];
}

Parity ParityAt(int parityIndex) {
  switch (parityIndex) {
    case 1: return Parity::Even;
    case 2: return Parity::Odd;
    default: return Parity::None;
  }
}

int DataBitsAt(int dataBitsIndex) { return dataBitsIndex == 0 ? 7 : 8; }

int StopBitsAt(int stopBitsIndex) { return stopBitsIndex == 1 ? 2 : 1; }

}  // namespace corvelle
