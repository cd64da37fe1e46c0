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

char Upper(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }

bool StartsWithNoCase(std::string_view text, std::string_view prefix) {
  if (text.size() < prefix.size()) return false;
  for (std::size_t i = 0; i < prefix.size(); ++i) {
    if (Upper(text[i]) != prefix[i]) return false;
  }
  return true;
}

// "COM" or "LPT" (in any case) followed by a device number from 1 up and an optional colon, as
// the list spells it ("COM3:"); empty for anything else. Leading zeros are dropped ("com03"
// is COM3), as the system's device names have none.
std::string NumberedDeviceName(std::string_view name) {
  std::string prefix;
  for (const std::string_view kind : {"COM", "LPT"}) {
    if (StartsWithNoCase(name, kind)) prefix = kind;
  }
  if (prefix.empty()) return {};
  std::string_view digits = name.substr(3);
  if (digits.ends_with(':')) digits.remove_suffix(1);
  if (digits.empty() || digits.size() > 9) return {};
  int number = 0;
  for (const char c : digits) {
    if (c < '0' || c > '9') return {};
    number = number * 10 + (c - '0');
  }
  if (number < 1) return {};
  return prefix + std::to_string(number) + ":";
}

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

// Windows names its serial devices only by COM number, so no path is a port name there.
bool IsDevicePathName(std::string_view portName) {
#ifdef _WIN32
  (void)portName;
  return false;
#else
  return portName.starts_with('/');
#endif
}

bool IsKnownPortName(std::string_view portName) {
  switch (KindFromName(portName)) {
    case PortKind::None: return false;
    case PortKind::Com:
    case PortKind::Lpt: return IsDevicePathName(portName) || PortNumberFromName(portName) >= 1;
    default: return true;
  }
}

std::string UnknownPortText(std::string_view portName) {
#ifdef _WIN32
  // Windows has no device paths among port names; COM ports above 16 are reached by number.
  return "Unknown port \"" + std::string(portName) + "\": choose COM1: to COM16: (or the number of a higher COM port), "
         "LPT1:, LPT2:, FILE, TCP/IP or USB.";
#else
  return "Unknown port \"" + std::string(portName) +
         "\": choose COM1: to COM16:, LPT1:, LPT2:, FILE, TCP/IP, USB or a serial device such as /dev/ttyUSB0.";
#endif
}

std::string PortListName(std::string_view typed) {
  std::string_view name = typed;
  // The system's own spelling of a device, which COM10 and above need in other programs.
  if (name.starts_with("\\\\.\\")) name.remove_prefix(4);
  if (std::string device = NumberedDeviceName(name); !device.empty()) return device;
  for (const std::string_view word : {"FILE", "TCP/IP"}) {
    if (typed.size() == word.size() && StartsWithNoCase(typed, word)) return std::string(word);
  }
  // What follows "USB" is the printer's own part of the name and is kept as typed.
  if (StartsWithNoCase(typed, "USB")) return "USB" + std::string(typed.substr(3));
  return std::string(typed);
}

std::string TypedPortName(std::string_view typed) {
#ifdef _WIN32
  return PortListName(typed);
#else
  return std::string(typed);
#endif
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
