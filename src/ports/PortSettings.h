// SPDX-License-Identifier: MIT
// How the program reaches the printer (port, serial line, flow control, RS-485, TCP/IP), as the
// main window keeps it and as the profile section "Impostazione porta" stores it.
#pragma once

#include <string>

namespace corvelle {

class Profile;

inline constexpr const char* kPortSection = "Impostazione porta";
// A private-network address, so that a fresh installation never reaches out to the Internet.
inline constexpr const char* kDefaultIpAddress = "192.168.1.100";
inline constexpr int kDefaultIpPort = 4001;

// The indexes are positions in the communication dialog's lists, kept exactly as read (an edited
// profile may hold anything); the port turns them into line values with the clamping helpers of
// PortTypes.h.
struct PortSettings {
  std::string portName = "COM1:";
  int speedIndex = 2;     // 0 "2400" ... 5 "57600"
  int parityIndex = 0;    // 0 none, 1 even, 2 odd
  int dataBitsIndex = 1;  // 0 seven, 1 eight
  int stopBitsIndex = 0;  // 0 one, 1 two
  int xonXoff = 0;
  int hardwareFlow = 1;
  int rs485Address = 0;
  int rs485On = 0;
  std::string ipAddress = kDefaultIpAddress;
  int ipPort = kDefaultIpPort;
  // 1: a TCP/IP open first asks the printer for an ICMP echo; 0 (sites whose firewalls drop
  // ICMP): the connect alone decides.
  int echoTest = 1;

  bool operator==(const PortSettings&) const = default;
};

// Reads the eleven keys in their stored order, then "EchoTest"; a missing key gives its default.
PortSettings LoadPortSettings(const Profile& profile);
// Writes the keys in memory, in the same order; the caller saves the profile.
void StorePortSettings(Profile& profile, const PortSettings& settings);

}  // namespace corvelle
