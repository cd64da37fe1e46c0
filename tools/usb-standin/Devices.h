// SPDX-License-Identifier: MIT
// The devices the stand-in USB library presents, read from the environment when a libusb
// context starts: the printer's bridge (KERV_USB_DESCRIPTION, KERV_USB_PRODUCT, KERV_USB_SIM)
// after any others listed in KERV_USB_DEVICES.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace kervusb {

inline constexpr std::uint16_t kFtdiVendor = 0x0403;
// Not one of FTDI's stock product IDs, as a printer maker's own bridge would carry.
inline constexpr std::uint16_t kBridgeProduct = 0x7C10;
inline constexpr const char* kBridgeDescription = "Varnesi Bridge GN2";

struct DeviceSpec {
  std::uint16_t vendor = kFtdiVendor;
  std::uint16_t product = 0;
  std::string description;  // the product string; empty: the device has none
  std::string manufacturer;
  // The bridge carries its bytes to the simulator at `simSocket` (none: they are dropped).
  bool bridge = false;
  std::string simSocket;
};

// "VVVV:PPPP" or "PPPP" (hex); false when `text` is neither.
bool ParseIds(const std::string& text, std::uint16_t& vendor, std::uint16_t& product);

// KERV_USB_DEVICES: entries "VVVV:PPPP" or "VVVV:PPPP:description" separated by ';'. Entries
// that do not parse are left out and named in `rejected`.
std::vector<DeviceSpec> ParseDeviceList(const std::string& text, std::vector<std::string>* rejected);

// The devices present now, in enumeration order: those of KERV_USB_DEVICES, then the bridge.
// With KERV_USB_SIM set the bridge is present only while that socket exists, so a simulator
// that has gone (or unplugged its device) takes the bridge away.
std::vector<DeviceSpec> DevicesFromEnvironment();

}  // namespace kervusb
