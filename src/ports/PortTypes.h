// SPDX-License-Identifier: MIT
// The port's kind codes, its open arguments, and the serial line tables that turn the dialog's
// list positions into line values.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvelle {

struct PortSettings;

enum class PortKind : std::uint8_t { None = 0, Com = 1, Lpt = 2, File = 3, TcpIp = 4, Usb = 5 };

// Built anew by each caller for each open.
struct PortOpenArgs {
  int portNumber = 0;     // see PortNumberFromName
  int baudIndex = 0;      // index into the baud table: the dialog's baud position + 1
  int parityIndex = 0;    // 0 none, 1 even, 2 odd
  int dataBitsIndex = 0;  // 0 seven, 1 eight
  int stopBitsIndex = 0;  // 0 one, 1 two
  int xonXoff = 0;        // bit 0: XON/XOFF control of the output
  int ctsFlow = 0;        // bit 0: CTS control of the output
  std::uint32_t eventMask = 0;  // serial event mask; no serial events are read on this platform
  std::string portName;         // "COM1:", "LPT2:", "TCP/IP", "FILE", "USB..."
  std::string ipAddress;        // dotted decimal or a host name
  int ipPort = 0;               // used as an unsigned 16-bit port number
  bool echoTest = true;         // TCP/IP: ask for an ICMP echo before connecting
  std::string outputName;       // suggested output file name (FILE)
  std::string fallbackOutputName;
};

// The open arguments the settings give: port number from the name, baud position + 1, the line
// positions, the TCP/IP address and port, XON/XOFF and CTS from the two flow-control boxes,
// event mask 0 and no output names. Callers override what their operation fixes.
PortOpenArgs MakePortOpenArgs(const PortSettings& settings);

// The decimal digits that follow the first three characters of `portName`, up to the first
// non-digit: "COM12:" gives 12, "LPT2:" gives 2; 0 when there are none. Saturates at INT_MAX.
int PortNumberFromName(std::string_view portName);

// The kind a port name selects by its case-sensitive prefix ("COM", "LPT", "FILE", "TCP/IP",
// "USB"); a name that is a path ("/dev/ttyUSB0", "/dev/serial/by-id/...") is a serial device,
// so Com, except on Windows. None when nothing matches.
PortKind KindFromName(std::string_view portName);

// True for a name that is a path to a device rather than a port name (never on Windows).
bool IsDevicePathName(std::string_view portName);

// Whether a port name reaches any port: a kind matches, and a COM or LPT name carries a port
// number of at least 1 (or is a device path). Nothing may be built or sent for any other name.
bool IsKnownPortName(std::string_view portName);
// The message for a name IsKnownPortName refuses; it names the port.
std::string UnknownPortText(std::string_view portName);

// A port name as Windows users type it, spelled as the port list spells it: "COM3", "com3:" and
// "\\.\COM3" give "COM3:", "lpt2" gives "LPT2:", "file" "FILE", "tcp/ip" "TCP/IP", "usb" "USB";
// any case, with or without the colon. Any other name comes back as it was, so that the refusal
// names it as typed.
std::string PortListName(std::string_view typed);
// The port name a name typed on the command line stands for: PortListName on Windows; elsewhere
// the name itself, since names there are matched exactly and device paths are names too.
std::string TypedPortName(std::string_view typed);

// Line values for the open arguments' indexes. An index outside its table gives the value of the
// default settings (9600 baud, no parity, 8 data bits, 1 stop bit), so no edited profile can make
// the port read outside a table.
int BaudRateAt(int baudIndex);        // 1200, 2400, 4800, 9600, 19200, 38400, 57600
enum class Parity { None, Even, Odd };
Parity ParityAt(int parityIndex);     // 0 none, 1 even, 2 odd
int DataBitsAt(int dataBitsIndex);    // 7, 8
int StopBitsAt(int stopBitsIndex);    // 1, 2

}  // namespace corvelle
