// SPDX-License-Identifier: MIT
// corvelle-cli set-com: the port dialog's "Set COM port", which changes the printer's own serial
// line settings.
#include <array>
#include <string>

#include "base/Profile.h"
#include "cli/Commands.h"
#include "cli/TerminalHost.h"
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

  const Profile profile(context.profilePath);
  TerminalHost& host = context.host;
  const SetComPortRequest request{host, DefaultPortEnvironment(profile), LoadPortSettings(profile), chosen,
                                  [&host] { return host.Interrupted(); }};
  return SetComPort(request).sent ? kExitOk : kExitFailed;
}

}  // namespace

Command SetComCommand() {
  return {
    "set-com",
    "change the printer's own serial line settings",
    "Usage: corvelle-cli set-com --speed I --parity I --data-bits I --stop-bits I\n"
    "\n"
    "Does what \"Set COM port\" of the port dialog does: opens the profile's port with its\n"
    "current line settings (the ones the printer uses now) and sends the printer the command\n"
    "that switches it to the new ones, then prints the message the window shows. The new\n"
    "positions are not stored in the profile.\n"
    "\n"
    "  --speed I      0 2400, 1 4800, 2 9600, 3 19200, 4 38400, 5 57600 baud\n"
    "  --parity I     0 none, 1 even, 2 odd\n"
    "  --data-bits I  0 seven, 1 eight\n"
    "  --stop-bits I  0 one, 1 two\n"
    "\n"
    "Exits 0 when the command was sent, 1 when the port could not be opened or the printer did\n"
    "not take the command (the reason is printed on stderr), 2 for usage errors.\n",
    RunSetCom,
  };
}

}  // namespace corvelle::cli
