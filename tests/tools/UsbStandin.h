// SPDX-License-Identifier: MIT
// The stand-in libusb-1.0 as a test drives it: its environment for one test (the simulator's
// socket, its record, the devices it presents), restored when the object goes, and the record
// of what reached the devices. The test binary runs with LD_LIBRARY_PATH naming the stand-in's
// folder; Loaded() tells whether it is the library in use, so no test talks to real USB devices.
#pragma once

#include <string>
#include <vector>

namespace corvelle::test {

class UsbStandin {
 public:
  // Socket and record go into `folder`; the bridge starts with its defaults and no other device.
  explicit UsbStandin(const std::string& folder);
  ~UsbStandin();
  UsbStandin(const UsbStandin&) = delete;
  UsbStandin& operator=(const UsbStandin&) = delete;

  static bool Loaded();
  // "LD_LIBRARY_PATH=..." for the message of a test that finds the real library loaded.
  static std::string Hint();

  // The simulator's --usb socket, which KERV_USB_SIM names.
  const std::string& Socket() const { return m_socket; }
  // Sets KERV_USB_<name>; an empty value unsets it.
  void Set(const std::string& name, const std::string& value);
  // The record's lines from `from` on.
  std::vector<std::string> Record(std::size_t from = 0) const;
  // Those lines that begin with `prefix`.
  std::vector<std::string> Record(const std::string& prefix, std::size_t from = 0) const;

 private:
  std::string m_socket;
  std::string m_record;
};

}  // namespace corvelle::test
