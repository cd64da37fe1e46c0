// SPDX-License-Identifier: MIT
// Finding the serial devices by name under /dev on Linux.
#include "app/SerialDevices.h"

#include <algorithm>
#include <filesystem>
#include <set>
#include <system_error>

namespace corvelle {
namespace {

namespace fs = std::filesystem;

bool IsCharacterDevice(const fs::path& path) {
  std::error_code error;
  return fs::is_character_file(path, error);  // follows a link to its device
}

// The names in `folder` that begin with `prefix`, sorted so that a shorter number comes first.
std::vector<std::string> NamesStartingWith(const fs::path& folder, const std::string& prefix) {
  std::vector<std::string> names;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
    const std::string name = it->path().filename().string();
    if (name.starts_with(prefix)) names.push_back(name);
  }
  std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return a.size() != b.size() ? a.size() < b.size() : a < b;
  });
  return names;
}

}  // namespace

std::vector<SerialDevice> ListSerialDevices(const std::string& devFolder) {
  const fs::path dev(devFolder);
  std::vector<SerialDevice> devices;
  std::set<fs::path> named;  // the devices a by-id name leads to

  const fs::path byId = dev / "serial" / "by-id";
  std::vector<std::string> ids = NamesStartingWith(byId, "");
  std::sort(ids.begin(), ids.end());
  for (const std::string& id : ids) {
    const fs::path link = byId / id;
    if (!IsCharacterDevice(link)) continue;
    std::error_code error;
    const fs::path target = fs::canonical(link, error);
    std::string label = id;
    if (!error) {
      named.insert(target);
      label += " (" + target.filename().string() + ")";
    }
    devices.push_back({link.string(), label});
  }

  for (const char* prefix : {"ttyUSB", "ttyACM"}) {
    for (const std::string& name : NamesStartingWith(dev, prefix)) {
      const fs::path path = dev / name;
      std::error_code error;
      const fs::path target = fs::canonical(path, error);
      if (!IsCharacterDevice(path) || (!error && named.count(target) > 0)) continue;
      devices.push_back({path.string(), path.string()});
    }
  }
  return devices;
}

}  // namespace corvelle
