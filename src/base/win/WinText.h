// SPDX-License-Identifier: MIT
// The Windows side's two translations: UTF-8 paths to the wide strings the file APIs take (and
// back), and Win32 error codes to the errno values the rest of the program reports.
#pragma once

#include <string>
#include <string_view>

namespace corvelle::win {

// UTF-8 to UTF-16; invalid sequences become U+FFFD, so such a path names no existing file.
std::wstring Widen(std::string_view utf8);
std::string Narrow(std::wstring_view wide);

// The errno value nearest to a Win32 error code (EIO for those with none).
int ErrnoFromWin32(unsigned long code);
// errno set from GetLastError(); returns the value set.
int SetErrnoFromLastError();

// A wide environment variable as UTF-8, "" when unset.
std::string EnvironmentFolder(const wchar_t* name);

}  // namespace corvelle::win
