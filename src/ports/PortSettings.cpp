// SPDX-License-Identifier: MIT
// Reading and writing the port settings in the profile.
#include "ports/PortSettings.h"

#include "base/Profile.h"

namespace corvelle {
namespace {

constexpr const char* kPort = "Port";
constexpr const char* kSpeed = "PortSpeed";
constexpr const char* kParity = "PortParity";
constexpr const char* kDataBits = "PortDatabits";
constexpr const char* kStopBits = "PortStopbits";
constexpr const char* kXonXoff = "PortXonXoff";
constexpr const char* kHardwareFlow = "PortFlussoHardware";
constexpr const char* kRs485Address = "IndRs485";
constexpr const char* kRs485On = "Rs485On";
constexpr const char* kIpAddress = "IPaddress";
constexpr const char* kIpPort = "IPport";
constexpr const char* kEchoTest = "EchoTest";

}  // namespace

PortSettings LoadPortSettings(const Profile& profile) {
  const PortSettings d;
  PortSettings s;
  s.portName = profile.GetString(kPortSection, kPort, d.portName);
  s.speedIndex = profile.GetInt(kPortSection, kSpeed, d.speedIndex);
  s.parityIndex = profile.GetInt(kPortSection, kParity, d.parityIndex);
  s.dataBitsIndex = profile.GetInt(kPortSection, kDataBits, d.dataBitsIndex);
  s.stopBitsIndex = profile.GetInt(kPortSection, kStopBits, d.stopBitsIndex);
  s.xonXoff = profile.GetInt(kPortSection, kXonXoff, d.xonXoff);
  s.hardwareFlow = profile.GetInt(kPortSection, kHardwareFlow, d.hardwareFlow);
  s.rs485Address = profile.GetInt(kPortSection, kRs485Address, d.rs485Address);
  s.rs485On = profile.GetInt(kPortSection, kRs485On, d.rs485On);
  s.ipAddress = profile.GetString(kPortSection, kIpAddress, d.ipAddress);
  s.ipPort = profile.GetInt(kPortSection, kIpPort, d.ipPort);
  s.echoTest = profile.GetInt(kPortSection, kEchoTest, d.echoTest);
  return s;
}

void StorePortSettings(Profile& profile, const PortSettings& s) {
  profile.WriteString(kPortSection, kPort, s.portName);
  profile.WriteInt(kPortSection, kSpeed, s.speedIndex);
  profile.WriteInt(kPortSection, kParity, s.parityIndex);
  profile.WriteInt(kPortSection, kDataBits, s.dataBitsIndex);
  profile.WriteInt(kPortSection, kStopBits, s.stopBitsIndex);
  profile.WriteInt(kPortSection, kXonXoff, s.xonXoff);
  profile.WriteInt(kPortSection, kHardwareFlow, s.hardwareFlow);
  profile.WriteInt(kPortSection, kRs485Address, s.rs485Address);
  profile.WriteInt(kPortSection, kRs485On, s.rs485On);
  profile.WriteString(kPortSection, kIpAddress, s.ipAddress);
  profile.WriteInt(kPortSection, kIpPort, s.ipPort);
  profile.WriteInt(kPortSection, kEchoTest, s.echoTest);
}

}  // namespace corvelle
