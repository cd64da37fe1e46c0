// SPDX-License-Identifier: MIT
// corvelle-cli.exe run by the Windows tests as a user runs it: a program folder with a FontExt
// folder and a profile that selects one font, standard output and error captured, and Ctrl-C
// sent on the program's console once the test says so.
#pragma once

#include <windows.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/Paths.h"
#include "base/Profile.h"
#include "base/win/WinText.h"
#include "download/DownloadPlan.h"
#include "support/Elapsed.h"
#include "support/TempDir.h"

namespace corvelle::test {

using ::testing::HasSubstr;

// An argument in double quotes, as CommandLineToArgvW reads it back: no argument of the tests holds
// a double quote or ends in a backslash, which would need escaping.
inline std::wstring Quote(const std::string& arg) { return L"\"" + win::Widen(arg) + L"\""; }

// `action` on a thread of its own after `ms`, as another program or the user would act meanwhile;
// the thread is joined when the result goes.
inline std::jthread After(int ms, std::function<void()> action) {
  return std::jthread([ms, action = std::move(action)] {
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
    action();
  });
}

// How a run differs from the plain one: another copy of the program, another current folder, and
// Ctrl-C sent once `ctrlCWhen` holds (asked every 20 ms).
struct RunHow {
  std::string exe = CORVELLE_BIN_DIR "/corvelle-cli.exe";
  std::string cwd{};  // the test's folder when empty
  std::function<bool()> ctrlCWhen{};
};

struct CliRun {
  int code = -1;  // -1 also when the program had to be ended after 90 s
  std::string out, err;
  bool eventSent = false;
  double secondsAfterEvent = 0;  // from the console event to the program's end
};

// The image `build` made and its one area's announcement.
struct BuiltImage {
  std::string image, announcement;
};

class CliFolders : public ::testing::Test {
 protected:
  void SetUp() override { SelectFont(profile, program, 1, 100, 3000); }

  // Runs the program with the test's program folder and profile and then `args`.
  CliRun Run(const std::vector<std::string>& args, const RunHow& how = {}) {
    EXPECT_TRUE(profile.Save());
    std::wstring line = Quote("Z:" + how.exe) + L" " + Quote("--program-folder") + L" " + Quote(program) + L" " +
                        Quote("--profile") + L" " + Quote(profile.Path());
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
    const std::wstring folder = win::Widen(how.cwd.empty() ? dir.Path() : how.cwd);
    // Ctrl-C reaches only the programs of a console: one of its own, to which the test attaches.
    // Without, a process group of its own keeps the test's console events away from it.
    const DWORD flags = how.ctrlCWhen ? CREATE_NEW_CONSOLE : CREATE_NEW_PROCESS_GROUP;
    const bool started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, folder.c_str(),
                                          &startup, &process);
    ::CloseHandle(startup.hStdOutput);
    ::CloseHandle(startup.hStdError);
    CliRun run;
    if (!started) {
      ADD_FAILURE() << "cannot start " << how.exe << ": " << ::GetLastError();
      return run;
    }
    std::optional<Clock::time_point> sentAt;
    for (int waited = 0; ::WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT; waited += 20) {
      if (how.ctrlCWhen && !sentAt && how.ctrlCWhen()) {
        sentAt = Clock::now();
        // Ctrl-C on the program's console, as a user typing it there: the test attaches to that
        // console, ignoring the event itself, and leaves it again.
        ::FreeConsole();
        run.eventSent = ::AttachConsole(process.dwProcessId) && ::SetConsoleCtrlHandler(nullptr, TRUE) &&
                        ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0);
        ::FreeConsole();
        ::SetConsoleCtrlHandler(nullptr, FALSE);
        if (!run.eventSent) ::TerminateProcess(process.hProcess, static_cast<UINT>(-1));
      }
      if (waited > 90'000) ::TerminateProcess(process.hProcess, static_cast<UINT>(-1));
    }
    run.secondsAfterEvent = SecondsSince(sentAt.value_or(Clock::now()));
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    run.code = static_cast<int>(code);
    run.out = ReadFile(dir.File("stdout"));
    run.err = ReadFile(dir.File("stderr"));
    return run;
  }

  // `build` run for the test's profile, its image checked to be one area.
  BuiltImage Build() {
    const std::string path = dir.File("built.shc");
    const CliRun run = Run({"build", "--output", path});
    EXPECT_EQ(run.code, 0) << run.err;
    const std::string image = ReadFile(path);
    const auto areas = SplitImage(static_cast<std::int64_t>(image.size()), DownloadForm::Current);
    EXPECT_GT(image.size(), 3000u);
    EXPECT_EQ(areas.size(), 1u);
    return {image, areas.empty() ? "" : Announcement(areas[0])};
  }

  TempDir dir;
  Profile profile{dir.File("corvelle.ini")};
  std::string program = dir.File("program");
};

}  // namespace corvelle::test
