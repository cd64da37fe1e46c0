// SPDX-License-Identifier: MIT
// Winsock's start-up, done once for the process before its first socket, and the system's text
// of its error numbers.
#pragma once

#include <string>

namespace corvelle::win {

// Starts Winsock 2.2 on the first call; every later call returns the first one's result. 0 when
// sockets can be used, else the WSAStartup error. Never cleaned up: sockets live until exit.
int WinsockReady();

// The system's text of a Winsock, Win32 or IP helper error number, without the final full stop.
std::string SystemErrorText(int error);

}  // namespace corvelle::win
