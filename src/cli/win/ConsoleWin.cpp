// SPDX-License-Identifier: MIT
// The console on Windows: the arguments read as UTF-16 and passed on as UTF-8, UTF-8 output, a
// console told apart from a pipe or file, and the console window's width.
#include <windows.h>
#include <io.h>
#include <shellapi.h>

#include "base/win/WinText.h"
#include "cli/Console.h"
#include "cli/StatusLine.h"

namespace corvelle::cli {
namespace {

HANDLE HandleOf(int fd) { return reinterpret_cast<HANDLE>(::_get_osfhandle(fd)); }

}  // namespace

// argv holds the arguments in the ANSI code page, which cannot spell every file name; the wide
// command line can.
std::vector<std::string> CommandArguments(int argc, char** argv) {
  int count = 0;
  LPWSTR* wide = ::CommandLineToArgvW(::GetCommandLineW(), &count);
  if (!wide) return {argv + 1, argv + argc};
  std::vector<std::string> args;
  for (int i = 1; i < count; ++i) args.push_back(win::Narrow(wide[i]));
  ::LocalFree(wide);
  return args;
}

void PrepareConsole() { ::SetConsoleOutputCP(CP_UTF8); }

// A write to a pipe whose reader has gone fails with "the pipe is being closed"; a write of no
// bytes finds that out without sending anything.
bool StandardOutputReaderGone() {
  const HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  if (out == INVALID_HANDLE_VALUE || ::GetFileType(out) != FILE_TYPE_PIPE) return false;
  DWORD written = 0;
  if (::WriteFile(out, "", 0, &written, nullptr)) return false;
  const DWORD error = ::GetLastError();
  return error == ERROR_NO_DATA || error == ERROR_BROKEN_PIPE;
}

// Only a console redraws a line in place, and only one that takes the terminal sequences (it is
// asked to); a pipe or a file gets plain lines.
bool IsSmartTerminal(int fd) {
  const HANDLE handle = HandleOf(fd);
  DWORD mode = 0;
  if (handle == INVALID_HANDLE_VALUE || !::GetConsoleMode(handle, &mode)) return false;
  constexpr DWORD kVirtualTerminal = 0x0004;  // ENABLE_VIRTUAL_TERMINAL_PROCESSING
  return (mode & kVirtualTerminal) != 0 || ::SetConsoleMode(handle, mode | kVirtualTerminal) != 0;
}

std::size_t TerminalColumns(int fd) {
  CONSOLE_SCREEN_BUFFER_INFO info{};
  if (!::GetConsoleScreenBufferInfo(HandleOf(fd), &info)) return 80;
  const int columns = info.srWindow.Right - info.srWindow.Left + 1;
  return columns > 0 ? static_cast<std::size_t>(columns) : 80;
}

}  // namespace corvelle::cli
