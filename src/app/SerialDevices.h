// SPDX-License-Identifier: MIT
// The serial devices present on the machine, as the port list offers them: the stable names under
// serial/by-id first, then the USB and ACM serial devices that no such name stands for.
#pragma once

#include <string>
#include <vector>

namespace corvelle {

struct SerialDevice {
  std::string path;   // what is stored as the port name
  std::string label;  // what the list shows
};

// Looks in `devFolder` ("/dev" on a real machine): serial/by-id/* (labelled with their names and
// the device they lead to), then ttyUSB* and ttyACM* in natural order (ttyUSB2 before ttyUSB10).
// Only character devices are listed; a folder that cannot be read lists nothing.
// On Windows `devFolder` is not used: the list holds the COM ports that the registry names under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM, in the order of their numbers, each as "COMn:" labelled
// with its driver's device ("COM3: (Serial0)").
std::vector<SerialDevice> ListSerialDevices(const std::string& devFolder = "/dev");

}  // namespace corvelle
