// SPDX-License-Identifier: MIT
// The one WSAStartup of the process, and error texts.
#include "base/win/Winsock.h"

#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>

#include "base/win/WinText.h"

namespace corvelle::win {

int WinsockReady() {
  // A function-local static is started exactly once, even by threads starting at once.
  static const int result = [] {
    WSADATA data{};
    return ::WSAStartup(MAKEWORD(2, 2), &data);
  }();
  return result;
}

std::string SystemErrorText(int error) {
  if (error >= IP_STATUS_BASE && error <= IP_STATUS_BASE + 99) {
    wchar_t text[256];
    DWORD size = sizeof text / sizeof text[0];
    if (::GetIpErrorString(static_cast<IP_STATUS>(error), text, &size) == NO_ERROR) return Narrow(text);
  }
  wchar_t* text = nullptr;
  const DWORD length = ::FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  std::string result = length > 0 ? Narrow(std::wstring_view(text, length)) : "error " + std::to_string(error);
  if (text) ::LocalFree(text);
  while (!result.empty() && (result.back() == '\n' || result.back() == '\r' || result.back() == '.')) result.pop_back();
  return result;
}

}  // namespace corvelle::win
