// SPDX-License-Identifier: MIT
// corvelle-cli set-com: the port dialog's "Set COM port", which changes the printer's own serial
// line settings.
#include <array>
#include <string>

#include "base/Profile.h"
#include "cli/Commands.h"
#include "cli/TerminalHost.h"
#include "download/Download.h"
#include "download/SetComPort.h"

namespace corvelle::cli {
namespace {

struct PositionOption {
  std::string_view name;
  int count;  // positions 0 .. count - 1
  int SerialPositions::*field;
};

constexpr std::array<PositionOption, 4> kOptions{{
    {"speed", 6, &SerialPositions::speedIndex},
    {"parity", 3, &SerialPositions::parityIndex},
    {"data-bits", 2, &SerialPositions::dataBitsIndex},
    {"stop-bits", 2, &SerialPositions::stopBitsIndex},
}};

int RunSetCom(CliContext& context, ArgReader& args) {
  const auto port = PortOption(args);
  const auto outputs = args.Options("output");
  if (port && port->empty()) args.Fail("--port needs a port name");
  if (port && !port->empty() && !IsKnownPortName(*port)) args.Fail(UnknownPortText(*port));
  SerialPositions chosen;
  for (const PositionOption& option : kOptions) {
    const auto value = args.IntOption(option.name);
    const std::string name(option.name);
    if (args.Failed()) break;
    if (!value) {
      args.Fail("set-com needs --" + name);
    } else if (*value < 0 || *value >= option.count) {
      args.Fail("--" + name + " must be a position from 0 to " + std::to_string(option.count - 1));
    } else {
      chosen.*option.field = static_cast<int>(*value);
    }
  }
  if (!args.Positionals().empty()) args.Fail("set-com takes no arguments");
  if (args.Failed()) return kExitUsage;

  const std::optional<Profile> stored = ReadProfile(context);
  if (!stored) return kExitFailed;
  const Profile& profile = *stored;
  TerminalHost& host = context.host;
  PortSettings current = LoadPortSettings(profile);
  if (port) current.portName = *port;
  if (const Outcome known = CheckPortName(current.portName); !known) {
    host.Show(known);
    return kExitFailed;
  }
  if (KindFromName(current.portName) == PortKind::File && outputs.empty()) {
    host.ShowMessage(kFileNeedsOutput, MessageStyle::Plain);
    return kExitFailed;
  }
  host.savePaths.assign(outputs.begin(), outputs.end());
  const SetComPortRequest request{host, DefaultPortEnvironment(profile), current, chosen,
                                  [&host] { return host.Interrupted(); }};
  return SetComPort(request) ? kExitOk : kExitFailed;
}

}  // namespace

Command SetComCommand() {
  return {
    "set-com",
    "change the printer's own serial line settings",
    "Usage: corvelle-cli set-com --speed I --parity I --data-bits I --stop-bits I\n"
    "                            [--port NAME] [--output FILE]\n"
    "\n"
    "Does what \"Set COM port\" of the port dialog does: opens the profile's port with its\n"
    "current line settings (the ones the printer uses now) and sends the printer the command\n"
    "that switches it to the new ones, then prints the message the window shows. The new\n"
    "positions are not stored in the profile. With RS-485 on, hardware flow control is off.\n"
    "\n"
    "  --port NAME    use this port instead of the stored one (as for download)\n"
    "  --output FILE  for the FILE port: the file the command is written to\n"
    "  --speed I      0 2400, 1 4800, 2 9600, 3 19200, 4 38400, 5 57600 baud\n"
    "  --parity I     0 none, 1 even, 2 odd\n"
    "  --data-bits I  0 seven, 1 eight\n"
    "  --stop-bits I  0 one, 1 two\n"
    "\n"
    "Exits 0 when the command was sent, 1 when the port could not be opened, the printer did\n"
    "not take the command or the connection was lost (the reason is printed on stderr), or the\n"
    "stored port name is unknown; 2 for usage errors (an unknown --port name too).\n"
    "\n"
    "Example: corvelle-cli set-com --port FILE --output set-com.bin \\\n"
    "           --speed 2 --parity 0 --data-bits 1 --stop-bits 0\n",
    RunSetCom,
  };
}

}  // namespace corvelle::cli
