// SPDX-License-Identifier: MIT
// The real program's port environment and the mapping of port names to system devices.
#include "ports/PortEnvironment.h"

#include <strings.h>

#include "base/Profile.h"
#include "ports/DeviceBackends.h"
#include "ports/FileBackend.h"
#include "ports/TcpBackend.h"
#include "ports/UsbBackend.h"

namespace corvelle {

PortEnvironment DefaultPortEnvironment() {
  PortEnvironment env;
  env.usbLibrary = MakeFtdiD2xx;
  env.backendFactory = MakeSystemBackend;
  return env;
}

PortEnvironment DefaultPortEnvironment(const Profile& profile) {
  PortEnvironment env = DefaultPortEnvironment();
  env.devices = profile.Entries(kDevicesSection);
  return env;
}

std::string DevicePath(const PortEnvironment& env, const std::string& deviceName) {
  for (const auto& [name, path] : env.devices) {
    if (::strcasecmp(name.c_str(), deviceName.c_str()) == 0) return path;
  }
  const int number = PortNumberFromName(deviceName);
  if (number < 1) return {};
  if (deviceName.starts_with("COM")) return "/dev/ttyS" + std::to_string(number - 1);
  if (deviceName.starts_with("LPT")) return "/dev/lp" + std::to_string(number - 1);
  return {};
}

std::unique_ptr<PortBackend> MakeSystemBackend(PortKind kind, PortContext& context) {
  switch (kind) {
    case PortKind::Com: return MakeSerialBackend(context);
    case PortKind::Lpt: return MakeParallelBackend(context);
    case PortKind::File: return MakeFileBackend(context);
    case PortKind::TcpIp: return std::make_unique<TcpBackend>(context);
    case PortKind::Usb: return std::make_unique<UsbBackend>(context);
    case PortKind::None: break;
  }
  return nullptr;
}

}  // namespace corvelle
