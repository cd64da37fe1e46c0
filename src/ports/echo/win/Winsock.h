// SPDX-License-Identifier: MIT
// Winsock's start-up, done once for the process before its first socket.
#pragma once

namespace corvelle::win {

// Starts Winsock 2.2 on the first call; every later call returns the first one's result. 0 when
// sockets can be used, else the WSAStartup error. Never cleaned up: sockets live until exit.
int WinsockReady();

}  // namespace corvelle::win
