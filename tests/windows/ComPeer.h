// SPDX-License-Identifier: MIT
// The Windows tests' view of pty-peer, the Linux program that plays the printer at the other end
// of a pseudo-terminal linked into the Wine prefix: which COM port it serves, what has arrived,
// the line's settings as the terminal has them, and holding the line (the peer stops reading).
#pragma once

#include <windows.h>

#include <cstdlib>
#include <functional>
#include <string>

#include "support/TempDir.h"

namespace corvelle::test {

class ComPeer {
 public:
  ComPeer() {
    const char* number = std::getenv("CORVELLE_PEER_COM");
    const char* dir = std::getenv("CORVELLE_PEER_DIR");
    if (!number || !dir) return;
    m_number = number;
    m_dir = std::string("Z:") + dir;
    for (char& c : m_dir) c = c == '/' ? '\\' : c;
  }

  // False when the tests were not started by pty-peer.
  bool Present() const { return !m_number.empty(); }
  // "COM12:", as the port dialog names it.
  std::string PortName() const { return "COM" + m_number + ":"; }

  // Everything that has arrived on the line since the peer started.
  std::string Received() const { return ReadFile(File("bytes")); }
  // The arrived bytes once they reach `size` (or after 10 s, then as they are).
  std::string ReceivedOnce(std::size_t size) const {
    Until([&] { return Received().size() >= size; });
    return Received();
  }
  // The line's settings as the peer last saw them, "speed=57600 bits=8 ..." and a newline.
  std::string Line() const { return ReadFile(File("line")); }
  // The settings once they equal `expected` (or after 10 s, then as they are).
  std::string LineOnce(const std::string& expected) const {
    Until([&] { return Line() == expected; });
    return Line();
  }

  // While held, the peer reads nothing, so the line fills and writes stay unfinished.
  void Hold(bool held) const {
    if (held) {
      WriteFile(File("hold"), "");
    } else {
      ::DeleteFileA(File("hold").c_str());
    }
  }

 private:
  std::string File(const std::string& what) const { return m_dir + "\\com" + m_number + "." + what; }
  static void Until(const std::function<bool()>& done) {
    for (int waited = 0; !done() && waited < 10'000; waited += 20) ::Sleep(20);
  }

  std::string m_number;
  std::string m_dir;
};

}  // namespace corvelle::test
