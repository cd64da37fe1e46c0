// SPDX-License-Identifier: MIT
// Helpers shared by the port tests: open arguments by name, environments, and the messages a
// host was shown.
#pragma once

#include <functional>
#include <string>

#include "ports/PortEnvironment.h"
#include "ports/PortTypes.h"
#include "support/FakeHost.h"

namespace corvelle::test {

// Open arguments for `name`, with the number it gives.
inline PortOpenArgs Args(const std::string& name) {
  PortOpenArgs a;
  a.portName = name;
  a.portNumber = PortNumberFromName(name);
  return a;
}

// A port environment with the seams that `set` fills in; the others stay the program's own.
inline PortEnvironment Env(const std::function<void(PortEnvironment&)>& set) {
  PortEnvironment env;
  set(env);
  return env;
}

// Every message shown so far, one a line, each after its box: "error: ", "plain: " or "other: ".
inline std::string Shown(const FakeHost& host) {
  std::string all;
  for (const auto& m : host.messages) {
    all += m.style == MessageStyle::Error ? "error: " : m.style == MessageStyle::Plain ? "plain: " : "other: ";
    all += m.text + "\n";
  }
  return all;
}

}  // namespace corvelle::test
