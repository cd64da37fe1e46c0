// SPDX-License-Identifier: MIT
// What a device port needs besides the host: the device-name mapping, and the seams through which
// tests replace the reachability test, the USB library or whole connection kinds.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "base/NativeHandle.h"
#include "ports/D2xx.h"
#include "ports/PortBackend.h"

namespace corvelle {

class Profile;

// Profile section mapping port device names to system devices, e.g. COM3=/dev/ttyUSB0.
inline constexpr const char* kDevicesSection = "Devices";

// An empty function member stands for the program's own (the echo probe, libftdi, the system
// backends), so tests set only the seams they replace.
struct PortEnvironment {
  // "COM3" -> "/dev/ttyUSB0"; names are matched without regard to case, like profile keys.
  std::vector<std::pair<std::string, std::string>> devices;
  // True when `host` answers the reachability test; the TCP/IP kind runs it before it connects.
  // Empty: the echo probe, which STOP ends.
  std::function<bool(const std::string& host)> reachable;
  // Makes the USB library the USB kind talks to.
  std::function<std::unique_ptr<D2xx>()> usbLibrary;
  // Makes the backend of each kind.
  PortBackendFactory backendFactory;
};

// The environment of the real program: the "Devices" section of `profile`, the echo probe
// (left empty, see `reachable`), libftdi and the system backends.
PortEnvironment DefaultPortEnvironment(const Profile& profile);
// The same with an empty device mapping.
PortEnvironment DefaultPortEnvironment();

// The reachability test the program uses: ICMP echo with the TCP/IP kind's arguments, asked
// again when no reply came (see AskForEchoReply).
bool EchoProbeReachable(const std::string& host);
// Runs `request` (one echo request that waits `waitMs` for its reply; 0 or why it failed) up to
// three times, one second apart within 5 s, until one gets a reply; only a request that timed out
// is followed by another. The last request's result.
int AskForEchoReply(const std::function<int(std::uint32_t waitMs)>& request);
// The same, ended early on STOP (`stop`: a descriptor that becomes readable on Linux, -1 for none;
// the stop event on Windows, 0 for none): 0 when `host` answered, else why not (ECANCELED after
// STOP, EACCES when ICMP echo is not permitted, ETIMEDOUT, ...).
int ProbeReachability(const std::string& host, NativeHandle stop);
// A short text for a ProbeReachability result.
std::string ReachabilityErrorText(int error);

// The system device for a port device name ("COM3", "LPT2"): the mapping's entry when there is
// one, else /dev/ttyS{n-1} for COMn and /dev/lp{n-1} for LPTn. Empty for anything else.
std::string DevicePath(const PortEnvironment& env, const std::string& deviceName);

}  // namespace corvelle
