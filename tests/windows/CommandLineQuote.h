// SPDX-License-Identifier: MIT
// Quoting one argument for a Windows command line, the way CommandLineToArgvW reads it back, for
// the tests that start corvelle-cli.exe with CreateProcessW.
#pragma once

#include <string>

#include "base/win/WinText.h"

namespace corvelle::test {

inline std::wstring Quote(const std::string& arg) {
  std::wstring out = L"\"";
  std::size_t slashes = 0;
  for (const wchar_t c : win::Widen(arg)) {
    if (c == L'\\') {
      ++slashes;
      continue;
    }
    out.append(c == L'"' ? slashes * 2 + 1 : slashes, L'\\');
    slashes = 0;
    out += c;
  }
  out.append(slashes * 2, L'\\');
  return out + L"\"";
}

}  // namespace corvelle::test
