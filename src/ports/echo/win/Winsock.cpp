// SPDX-License-Identifier: MIT
// The one WSAStartup of the process.
#include "ports/echo/win/Winsock.h"

#include <winsock2.h>

namespace corvelle::win {

int WinsockReady() {
  // A function-local static is started exactly once, even by threads starting at once.
  static const int result = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

}  // namespace corvelle::win
