// SPDX-License-Identifier: MIT
// corvelle-cli.exe serving several printers, run as the built program under Wine against
// stand-in printers on 127.0.0.1: each one served gets exactly the announcement and the built
// image on connections of their own, a closed port fails alone, the result lines come in the
// order given (exit 1); and Ctrl-C while printers pause stops every one of them at once, the one
// waiting its turn never contacted.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "LoopbackListener.h"
#include "base/Paths.h"
#include "base/Profile.h"
#include "base/win/WinText.h"
#include "download/DownloadPlan.h"
#include "fontset/FontSetBuilder.h"
#include "support/TempDir.h"
#include "CommandLineQuote.h"

namespace corvelle {
namespace {

using test::ReadFile;
using Clock = std::chrono::steady_clock;

using test::Quote;

HANDLE CreateOutput(const std::string& path) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  return ::CreateFileW(win::Widen(path).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                       FILE_ATTRIBUTE_NORMAL, nullptr);
}

// Ctrl-C on the console of process `id`, as a user typing it there: the test attaches to that
// console, ignoring the event itself, and leaves it again. False when it cannot be sent.
bool SendCtrlC(DWORD id) {
  ::FreeConsole();
  if (!::AttachConsole(id)) return false;
  ::SetConsoleCtrlHandler(nullptr, TRUE);
  const bool sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
  ::FreeConsole();
  ::SetConsoleCtrlHandler(nullptr, FALSE);
  return sent;
}

// The lines of `text`, each without its CR LF.
std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

class WindowsFleetCli : public ::testing::Test {
 protected:
  // Runs `corvelle-cli.exe download ARGS` with the test's folders, stdout in `out` and stderr in
  // `err`. When `breakWhen` is given, asked every 20 ms, Ctrl-C goes to the program once it holds
  // (`breakSent` says whether it could be sent; `breakAt` is when). The exit status, or -1
  // when the program had to be ended after 60 s.
  int Run(const std::vector<std::string>& args, const std::function<bool()>& breakWhen = {}) {
    EXPECT_TRUE(profile.Save());
    std::wstring line = Quote("Z:" CORVELLE_BIN_DIR "/corvelle-cli.exe");
    for (const std::string& arg :
         std::vector<std::string>{"--program-folder", program, "--profile", profile.Path(), "download"}) {
      line += L" " + Quote(arg);
    }
    for (const std::string& arg : args) line += L" " + Quote(arg);
    const HANDLE outFile = CreateOutput(dir.File("stdout"));
    const HANDLE errFile = CreateOutput(dir.File("stderr"));
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = outFile;
    startup.hStdError = errFile;
    PROCESS_INFORMATION process{};
    // Console events reach only the programs of a console: one of its own, to which the test
    // attaches to send Ctrl-C.
    const DWORD flags = breakWhen ? CREATE_NEW_CONSOLE : CREATE_NEW_PROCESS_GROUP;
    const bool started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, flags, nullptr, nullptr, &startup, &process);
    ::CloseHandle(outFile);
    ::CloseHandle(errFile);
    if (!started) {
      ADD_FAILURE() << "cannot start corvelle-cli.exe: " << ::GetLastError();
      return -1;
    }
    bool asked = false;
    DWORD code = static_cast<DWORD>(-1);
    for (int waited = 0; ::WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT; waited += 20) {
      if (breakWhen && !asked && breakWhen()) {
        asked = true;
        breakAt = Clock::now();
        breakSent = SendCtrlC(process.dwProcessId);
        if (!breakSent) ::TerminateProcess(process.hProcess, static_cast<UINT>(-1));
      }
      if (waited > 60'000) ::TerminateProcess(process.hProcess, static_cast<UINT>(-1));
    }
    endedAt = Clock::now();
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    out = ReadFile(dir.File("stdout"));
    err = ReadFile(dir.File("stderr"));
    return static_cast<int>(code);
  }

  void SetUp() override {
    ASSERT_TRUE(MakeFolders(program + "\\FontExt"));
    std::string data(3000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 13 + 1) % 251);
    profile.WriteString("FontsAggiuntivi", "Font001", test::WriteFont(program, "f1", std::string(100, 'h'), data));
  }

  test::TempDir dir;
  Profile profile{dir.File("corvelle.ini")};
  std::string program = dir.File("program");
  std::string out, err;
  bool breakSent = false;
  Clock::time_point breakAt, endedAt;
};

TEST_F(WindowsFleetCli, EachServedPrinterGetsExactlyTheFramedImageAndAClosedPortFailsAlone) {
  test::LoopbackListener first, second;
  ASSERT_TRUE(first.Port() && second.Port());
  const std::string closed = "127.0.0.1:" + std::to_string(test::ClosedLoopbackPort());
  EXPECT_EQ(Run({"--ip", first.Target(), "--ip", closed, "--ip", second.Target()}), 1) << err;

  const std::vector<std::string> lines = Lines(out);
  ASSERT_EQ(lines.size(), 3u) << out;
  EXPECT_EQ(lines[0], first.Target() + "\tok\t");
  EXPECT_EQ(lines[1].rfind(closed + "\tfailed\t", 0), 0u) << lines[1];
  EXPECT_GT(lines[1].size(), closed.size() + 8) << "the printer's last message";
  EXPECT_EQ(lines[2], second.Target() + "\tok\t");
  EXPECT_NE(err.find(closed + ": "), std::string::npos) << "its messages on stderr under its name:\n" << err;

  const std::string image = ReadFile(DefaultFontSetPath(program));
  ASSERT_GT(image.size(), 3000u);
  const auto areas = SplitImage(static_cast<std::int64_t>(image.size()), DownloadForm::Current);
  ASSERT_EQ(areas.size(), 1u);
  for (const test::LoopbackListener* printer : {&first, &second}) {
    const std::vector<std::string> received = printer->Received();
    ASSERT_EQ(received.size(), 2u) << printer->Target();
    EXPECT_EQ(received[0], Announcement(areas[0]));
    EXPECT_TRUE(received[1] == image) << printer->Target() << " got other bytes than the built image";
  }
}

TEST_F(WindowsFleetCli, CtrlCWhilePrintersPauseStopsEveryOneAtOnce) {
  test::LoopbackListener first, second, waiting;
  ASSERT_TRUE(first.Port() && second.Port() && waiting.Port());
  const int code = Run({"--jobs", "2", "--ip", first.Target(), "--ip", second.Target(), "--ip", waiting.Target()},
                       [&] { return !first.Received().empty() && !second.Received().empty(); });
  if (!breakSent) GTEST_SKIP() << "this Wine cannot attach to the program's console to send Ctrl-C";
  EXPECT_EQ(code, 1) << err;
  EXPECT_LT(std::chrono::duration<double>(endedAt - breakAt).count(), 2.0) << "every wait ends on STOP";
  EXPECT_EQ(out, first.Target() + "\tstopped\tDownload stopped.\r\n" + second.Target() +
                     "\tstopped\tDownload stopped.\r\n" + waiting.Target() + "\tstopped\tDownload stopped.\r\n");
  EXPECT_EQ(waiting.Accepted(), 0) << "a printer not started is never contacted";
}

}  // namespace
}  // namespace corvelle
