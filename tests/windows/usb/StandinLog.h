// SPDX-License-Identifier: MIT
// The USB tests' side of the stand-in FTD2XX.dll: its steering variables, set for this process
// and the programs it starts and cleared afterwards, and its record of calls read back.
#pragma once

#include <windows.h>

#include <sstream>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace corvelle::test {

// The calls with which the USB kind opens the bridge.
inline const std::vector<std::string> kOpened = {
    "FT_OpenEx \"Varnesi Bridge GN2\" 2 -> 0",
    "FT_ResetDevice -> 0",
    "FT_SetTimeouts 3000 3000 -> 0",
    "FT_Purge 1 -> 0",
};

class Standin {
 public:
  explicit Standin(const TempDir& dir) : m_log(dir.File("d2xx-calls.log")) { Set("LOG", m_log); }
  ~Standin() {
    for (const char* name : {"LOG", "OPEN", "PURGE", "WRITE_LIMIT", "REPLY", "XON_AFTER"}) {
      ::SetEnvironmentVariableA(("CORVELLE_D2XX_" + std::string(name)).c_str(), nullptr);
    }
  }
  Standin(const Standin&) = delete;
  Standin& operator=(const Standin&) = delete;

  // CORVELLE_D2XX_<name>=value.
  void Set(const std::string& name, const std::string& value) {
    ::SetEnvironmentVariableA(("CORVELLE_D2XX_" + name).c_str(), value.c_str());
  }

  // The calls recorded so far, one a line, with the bytes of each write left out.
  std::vector<std::string> Calls() const {
    std::vector<std::string> calls;
    std::istringstream in(ReadFile(m_log));
    for (std::string line; std::getline(in, line);) {
      if (line.starts_with("FT_Write ")) {
        const std::size_t hex = line.find(' ', 9), arrow = line.find(" -> ");
        if (hex != std::string::npos && arrow != std::string::npos && hex < arrow) line.erase(hex, arrow - hex);
      }
      calls.push_back(line);
    }
    return calls;
  }

  // Every byte handed to the device's write calls, in order (of each call only what it took).
  std::string Written() const {
    std::string bytes;
    std::istringstream in(ReadFile(m_log));
    for (std::string line; std::getline(in, line);) {
      if (!line.starts_with("FT_Write ")) continue;
      std::istringstream words(line.substr(9));
      std::string count, hex, arrow, status, taken;
      words >> count >> hex >> arrow >> status >> taken;
      if (count == "0") continue;  // no bytes, so no hex word either
      const std::size_t take = std::stoul(taken);
      for (std::size_t i = 0; i + 1 < hex.size() && i / 2 < take; i += 2) {
        bytes += static_cast<char>(std::stoul(hex.substr(i, 2), nullptr, 16));
      }
    }
    return bytes;
  }

 private:
  std::string m_log;
};

}  // namespace corvelle::test
