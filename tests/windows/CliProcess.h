// SPDX-License-Identifier: MIT
// corvelle-cli.exe run by the Windows tests as a user runs it: a program folder with a FontExt
// folder and a profile that selects one font, the command line quoted the way CommandLineToArgvW
// reads it back, standard output and error captured, and Ctrl-Break or Ctrl-C sent on the
// program's console once the test says so.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "base/Paths.h"
#include "base/Profile.h"
#include "base/win/WinText.h"
#include "support/TempDir.h"

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

// Ctrl-C on the console of process `pid`, as a user typing it there: the test attaches to that
// console, ignoring the event itself, and leaves it again. False when it cannot be sent.
inline bool SendCtrlC(DWORD pid) {
  ::FreeConsole();
  if (!::AttachConsole(pid)) return false;
  ::SetConsoleCtrlHandler(nullptr, TRUE);
  const bool sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
  ::FreeConsole();
  ::SetConsoleCtrlHandler(nullptr, FALSE);
  return sent;
}

// The lines of `text`, each without its CR LF.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

enum class ConsoleEvent { None, CtrlBreak, CtrlC };

struct CliRun {
  int code = -1;  // -1 also when the program had to be ended after 90 s
  std::string out, err;
  bool eventSent = false;
  double secondsAfterEvent = 0;  // from the console event to the program's end
};

class CliFolders : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(MakeFolders(program + "\\FontExt"));
    std::string data(3000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 13 + 1) % 251);
    profile.WriteString("FontsAggiuntivi", "Font001", test::WriteFont(program, "f1", std::string(100, 'h'), data));
  }

  // Runs `exe` (corvelle-cli.exe of the build when empty) with the test's program folder and
  // profile and then `args`, in the folder `cwd` (the test's own when empty). With `event`, once `when` holds (asked every 20 ms) the console
  // event goes to the program: Ctrl-Break to its process group, or Ctrl-C on a console of its own.
  CliRun Run(const std::vector<std::string>& args, const std::string& exe = {},
             const std::string& cwd = {}, ConsoleEvent event = ConsoleEvent::None,
             const std::function<bool()>& when = {}) {
    EXPECT_TRUE(profile.Save());
    std::wstring line = Quote("Z:" + (exe.empty() ? std::string(CORVELLE_BIN_DIR "/corvelle-cli.exe") : exe));
    for (const std::string& arg : std::vector<std::string>{"--program-folder", program, "--profile", profile.Path()}) {
      line += L" " + Quote(arg);
    }
    for (const std::string& arg : args) line += L" " + Quote(arg);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const auto output = [&](const char* name) {
      return ::CreateFileW(win::Widen(dir.File(name)).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    };
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = output("stdout");
    startup.hStdError = output("stderr");
    PROCESS_INFORMATION process{};
    const std::wstring folder = win::Widen(cwd.empty() ? dir.Path() : cwd);
    // Console events reach only the programs of a console: Ctrl-C one of its own, to which the
    // test attaches, Ctrl-Break a process group of its own.
    const DWORD flags = event == ConsoleEvent::CtrlC ? CREATE_NEW_CONSOLE : CREATE_NEW_PROCESS_GROUP;
    const bool started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, folder.c_str(),
                                          &startup, &process);
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
    CliRun run;
    if (!started) {
      ADD_FAILURE() << "cannot start " << exe << ": " << ::GetLastError();
      return run;
    }
    using Clock = std::chrono::steady_clock;
    bool asked = false;
    Clock::time_point sentAt;
    for (int waited = 0; ::WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT; waited += 20) {
      if (event != ConsoleEvent::None && !asked && when()) {
        asked = true;
        sentAt = Clock::now();
        run.eventSent = event == ConsoleEvent::CtrlC
                            ? SendCtrlC(process.dwProcessId)
                            : ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process.dwProcessId) != 0;
        if (!run.eventSent) ::TerminateProcess(process.hProcess, static_cast<UINT>(-1));
      }
      if (waited > 90'000) ::TerminateProcess(process.hProcess, static_cast<UINT>(-1));
    }
    run.secondsAfterEvent = std::chrono::duration<double>(Clock::now() - sentAt).count();
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    run.code = static_cast<int>(code);
    run.out = ReadFile(dir.File("stdout"));
    run.err = ReadFile(dir.File("stderr"));
    return run;
  }

  TempDir dir;
  Profile profile{dir.File("corvelle.ini")};
  std::string program = dir.File("program");
};

}  // namespace corvelle::test
