// SPDX-License-Identifier: MIT
// Reading the stand-in's device list from the environment.
#include "Devices.h"

#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>

namespace kervusb {
namespace {

bool ParseHex16(const std::string& text, std::uint16_t& value) {
  if (text.empty() || text.size() > 4) return false;
  unsigned result = 0;
  for (const char c : text) {
    const int digit = c >= '0' && c <= '9'   ? c - '0'
                      : c >= 'a' && c <= 'f' ? c - 'a' + 10
                      : c >= 'A' && c <= 'F' ? c - 'A' + 10
                                             : -1;
    if (digit < 0) return false;
    result = result * 16 + static_cast<unsigned>(digit);
  }
  value = static_cast<std::uint16_t>(result);
  return true;
}

std::string Variable(const char* name, const char* fallback = "") {
  const char* value = std::getenv(name);
  return value ? value : fallback;
}

}  // namespace

bool ParseIds(const std::string& text, std::uint16_t& vendor, std::uint16_t& product) {
  const auto colon = text.find(':');
  if (colon == std::string::npos) return ParseHex16(text, product);
  return ParseHex16(text.substr(0, colon), vendor) && ParseHex16(text.substr(colon + 1), product);
}

std::vector<DeviceSpec> ParseDeviceList(const std::string& text, std::vector<std::string>* rejected) {
  std::vector<DeviceSpec> devices;
  for (std::size_t start = 0; start <= text.size();) {
    std::size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    const std::string entry = text.substr(start, end - start);
    start = end + 1;
    if (entry.empty()) continue;
    // The description is everything after the second colon, so it may hold colons itself.
    const auto second = entry.find(':', entry.find(':') + 1);
    DeviceSpec device;
    device.manufacturer = "FTDI";
    const bool ok =
        ParseIds(entry.substr(0, second), device.vendor, device.product) && entry.find(':') != std::string::npos;
    if (!ok) {
      if (rejected) rejected->push_back(entry);
      continue;
    }
    if (second != std::string::npos) device.description = entry.substr(second + 1);
    devices.push_back(device);
  }
  return devices;
}

std::vector<DeviceSpec> DevicesFromEnvironment() {
  std::vector<std::string> rejected;
  std::vector<DeviceSpec> devices = ParseDeviceList(Variable("KERV_USB_DEVICES"), &rejected);
  for (const std::string& entry : rejected) {
    std::fprintf(stderr, "kerv usb stand-in: KERV_USB_DEVICES entry '%s' is not VVVV:PPPP[:description]\n",
                 entry.c_str());
  }
  DeviceSpec bridge;
  bridge.bridge = true;
  bridge.product = kBridgeProduct;
  bridge.manufacturer = "Varnesi";
  bridge.description = Variable("KERV_USB_DESCRIPTION", kBridgeDescription);
  const std::string ids = Variable("KERV_USB_PRODUCT");
  if (!ids.empty() && !ParseIds(ids, bridge.vendor, bridge.product)) {
    std::fprintf(stderr, "kerv usb stand-in: KERV_USB_PRODUCT '%s' is not PPPP or VVVV:PPPP\n", ids.c_str());
  }
  bridge.simSocket = Variable("KERV_USB_SIM");
  struct stat info {};
  const bool present =
      bridge.simSocket.empty() || (::stat(bridge.simSocket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode));
  if (present) devices.push_back(bridge);
  return devices;
}

}  // namespace kervusb
