// SPDX-License-Identifier: MIT
// Setting up the simulator's two ways in: a TCP listener and a pseudo-terminal.
#pragma once

#include <string>

#include "base/UniqueFd.h"

namespace corvelle::printersim {

struct Listener {
  UniqueFd fd;          // non-blocking
  std::string address;  // numeric, as bound
  int port = 0;         // the port actually bound (also when 0 was asked for)
  // "127.0.0.1:4001", "[::1]:4001"
  std::string Endpoint() const;
};

// Binds to the numeric address `bindAddress` and, with `listenNow`, listens there; false with
// the reason in `error`. A listener bound but not listening holds its port, and a connect to it
// is refused.
bool OpenListener(const std::string& bindAddress, int port, Listener& listener, std::string* error,
                  bool listenNow = true);
// Starts listening on a listener opened without; false with the reason in `error`.
bool StartListening(Listener& listener, std::string* error);

struct PseudoTerminal {
  UniqueFd master;  // non-blocking; the simulator reads and writes here
  UniqueFd slave;   // held open for the whole run, see OpenPseudoTerminal
  std::string slavePath;
};

// Opens a pseudo-terminal pair and sets the slave raw. The simulator keeps its own slave
// descriptor open so that the master never reports a hang-up while the sender has the port
// closed between an announcement and its data.
bool OpenPseudoTerminal(PseudoTerminal& terminal, std::string* error);

// "127.0.0.1:40312" for a connected peer.
std::string PeerName(int fd);

}  // namespace corvelle::printersim
