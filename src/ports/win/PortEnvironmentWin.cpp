// SPDX-License-Identifier: MIT
// The real program's port environment on Windows. COMn is the system's \\.\COMn and LPTn its
// \\.\LPTn: the "Devices" mapping of the Linux build is not used.
#include "ports/PortEnvironment.h"

#include "base/Host.h"
#include "base/Profile.h"
#include "ports/FileBackend.h"
#include "ports/PortTypes.h"
#include "ports/TcpBackend.h"
#include "ports/UsbBackend.h"
#include "ports/win/DeviceBackendsWin.h"

namespace corvelle {

PortEnvironment DefaultPortEnvironment() {
  PortEnvironment env;
  env.backendFactory = MakeSystemBackend;
  return env;
}

PortEnvironment DefaultPortEnvironment(const Profile&) { return DefaultPortEnvironment(); }

std::string DevicePath(const PortEnvironment&, const std::string& deviceName) {
  const int number = PortNumberFromName(deviceName);
  if (number < 1) return {};
  if (deviceName.starts_with("COM")) return "\\\\.\\COM" + std::to_string(number);
  if (deviceName.starts_with("LPT")) return "\\\\.\\LPT" + std::to_string(number);
  return {};
}

std::unique_ptr<PortBackend> MakeSystemBackend(PortKind kind, PortContext& context) {
  if (kind == PortKind::File) return MakeFileBackend(context);
  if (kind == PortKind::Com) return MakeSerialBackend(context);
  if (kind == PortKind::Lpt) return MakeParallelBackend(context);
  if (kind == PortKind::Usb) return std::make_unique<UsbBackend>(context);
  if (kind == PortKind::TcpIp) return std::make_unique<TcpBackend>(context);
  return nullptr;
}

}  // namespace corvelle
