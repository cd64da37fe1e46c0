// SPDX-License-Identifier: MIT
// The stand-in libusb's environment and record in tests.
#include "tools/UsbStandin.h"

#include <dlfcn.h>

#include <cstdlib>
#include <sstream>

#include "support/TempDir.h"

namespace corvelle::test {

// The variables the stand-in reads, as KERV_USB_<name>.
const char* const kNames[] = {"SIM", "RECORD", "DEVICES", "DESCRIPTION", "PRODUCT"};

UsbStandin::UsbStandin(const std::string& folder) : m_socket(folder + "/usb.sock"), m_record(folder + "/usb-record") {
  for (const char* name : kNames) Set(name, "");
  Set("SIM", m_socket);
  Set("RECORD", m_record);
}

UsbStandin::~UsbStandin() { for (const char* name : kNames) Set(name, ""); }

bool UsbStandin::Loaded() { return ::dlsym(RTLD_DEFAULT, "kerv_usb_standin") != nullptr; }

std::string UsbStandin::Hint() {
  return "the stand-in libusb-1.0 is not loaded: run with LD_LIBRARY_PATH=" CORVELLE_USB_STANDIN_DIR;
}

void UsbStandin::Set(const std::string& name, const std::string& value) {
  const std::string variable = "KERV_USB_" + name;
  value.empty() ? ::unsetenv(variable.c_str()) : ::setenv(variable.c_str(), value.c_str(), 1);
}

std::vector<std::string> UsbStandin::Record(std::size_t from) const { return Record("", from); }

std::vector<std::string> UsbStandin::Record(const std::string& prefix, std::size_t from) const {
  std::istringstream text(ReadFile(m_record));
  std::vector<std::string> lines;
  std::size_t index = 0;
  for (std::string line; std::getline(text, line); ++index)
    if (index >= from && line.starts_with(prefix)) lines.push_back(line);
  return lines;
}

}  // namespace corvelle::test
