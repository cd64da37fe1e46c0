// SPDX-License-Identifier: MIT
// The stand-in's own shape of libusb's opaque objects (context, device, open handle), shared by
// its enumeration and its transfers, and the record it keeps of what the host asked the devices.
#pragma once

#include <libusb.h>

#include <memory>
#include <set>
#include <string>
#include <vector>

#include "Devices.h"
#include "SimLink.h"

namespace kervusb {

// KERV_USB_RECORD: one line per event, appended, so a test can read what reached the devices.
class Record {
 public:
  Record();
  ~Record();
  Record(const Record&) = delete;
  Record& operator=(const Record&) = delete;
  void Line(const std::string& text);

 private:
  int m_fd = -1;
};

// "0403:7c10"
std::string IdText(const DeviceSpec& spec);

}  // namespace kervusb

struct libusb_context {
  kervusb::Record record;
  // Every device any enumeration made; they live as long as the context, so a caller's late
  // unref never frees one under another.
  std::vector<std::unique_ptr<libusb_device>> devices;
  std::set<libusb_device_handle*> handles;
};

struct libusb_device {
  libusb_context* context = nullptr;
  kervusb::DeviceSpec spec;
  std::uint8_t address = 0;  // bus 1, addresses 1, 2, … in enumeration order
  int refs = 0;
};

struct libusb_device_handle {
  libusb_device* device = nullptr;
  bool claimed = false;
  int configuration = 1;
  // The chip answers an empty bulk read only when its latency timer runs out (FTDI's default).
  int latencyMs = 16;
  std::string received;  // what the printer sent and the host has not read
  kervusb::SimLink link;
};
