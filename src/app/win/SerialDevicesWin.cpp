// SPDX-License-Identifier: MIT
// The serial ports present on Windows: the system lists each one it has a driver for under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, the driver's device name as the value's name and the port
// ("COM3") as its data. They are offered by the names the port list uses ("COM3:"), which the
// engine opens as \\.\COM3, so COM10 and above work too.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <string>
#include <utility>
#include <vector>

#include "app/SerialDevices.h"
#include "base/win/WinText.h"

namespace corvelle {
namespace {

constexpr const wchar_t* kSerialCommKey = L"HARDWARE\\DEVICEMAP\\SERIALCOMM";

// The number of "COMn" (any case), or 0 for anything else.
int ComNumber(const std::string& port) {
  if (port.size() < 4 || port.size() > 8) return 0;
  std::string prefix = port.substr(0, 3);
  std::transform(prefix.begin(), prefix.end(), prefix.begin(), [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  if (prefix != "COM") return 0;
  int number = 0;
  for (const char c : port.substr(3)) {
    if (c < '0' || c > '9') return 0;
    number = number * 10 + (c - '0');
  }
  return number;
}

// What follows the last backslash of a driver's device name ("\Device\Serial0" gives "Serial0").
std::string DriverName(const std::string& device) {
  const std::size_t slash = device.find_last_of('\\');
  return slash == std::string::npos ? device : device.substr(slash + 1);
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const std::string&) {
  HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, kSerialCommKey, 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) return {};
  std::vector<std::pair<int, SerialDevice>> found;
  for (DWORD index = 0;; ++index) {
    wchar_t name[256];
    DWORD nameLength = static_cast<DWORD>(std::size(name));
    wchar_t data[64];
    DWORD dataBytes = sizeof(data) - sizeof(wchar_t);  // room for a terminator the value may lack
    DWORD type = 0;
    const LONG result = ::RegEnumValueW(key, index, name, &nameLength, nullptr, &type,
                                        reinterpret_cast<BYTE*>(data), &dataBytes);
    if (result == ERROR_NO_MORE_ITEMS) break;
    // A value too long for a port name is no port; the others are still listed.
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    data[dataBytes / sizeof(wchar_t)] = L'\0';
    const std::string port = win::Narrow(data);
    const int number = ComNumber(port);
    if (number < 1) continue;
    const std::string portName = "COM" + std::to_string(number) + ":";
    found.push_back({number, {portName, portName + " (" + DriverName(win::Narrow(std::wstring_view(name, nameLength))) + ")"}});
  }
  ::RegCloseKey(key);
  std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
  std::vector<SerialDevice> devices;
  for (auto& [number, device] : found) devices.push_back(std::move(device));
  return devices;
}

}  // namespace corvelle
