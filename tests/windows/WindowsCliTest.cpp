// SPDX-License-Identifier: MIT
// corvelle-cli.exe run as the built program under Wine: a FILE download writes exactly the
// announcement the engine frames and the image the build makes, Ctrl-Break in the first pause is
// STOP ("Download stopped.", exit 1, the image never opened), and a selection saved to a .kvf
// file and loaded back under Windows paths keeps its fonts; ping answers on loopback; the
// several-printer options are checked as on Linux.
#include <winsock2.h>
#include <windows.h>

#include <gtest/gtest.h>

#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/Paths.h"
#include "base/Profile.h"
#include "base/win/WinText.h"
#include "download/DownloadPlan.h"
#include "support/TempDir.h"
#include "CommandLineQuote.h"

namespace corvelle {
namespace {

using test::ReadFile;

using test::Quote;

// Ctrl-C on the console of process `pid`, which this process joins for the moment (ignoring the
// event itself). False when the console cannot be joined or the event not sent.
bool SendCtrlC(DWORD pid) {
  ::FreeConsole();
  if (!::AttachConsole(pid)) return false;
  ::SetConsoleCtrlHandler(nullptr, TRUE);
  const bool sent = ::GenerateConsoleCtrlEvent(CTRL_C_EVENT, 0) != 0;
  ::FreeConsole();
  return sent;
}

// A printer on 127.0.0.1 that the test plays: it takes every connection the program makes and
// records each one's bytes, in order, until the program closes it.
class RecordingPrinter {
 public:
  RecordingPrinter() {
    WSADATA data{};
    ::WSAStartup(MAKEWORD(2, 2), &data);
    m_listener = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int length = sizeof address;
    ::bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
    ::listen(m_listener, 4);
    ::getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~RecordingPrinter() {
    m_stop = true;
    m_thread.join();
    ::closesocket(m_listener);
  }
  // The connections so far, each with what it carried.
  std::vector<std::string> Connections() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_connections;
  }
  int port = 0;
  std::atomic<int> finished{0};  // connections the program has closed

 private:
  void Serve() {
    while (!m_stop) {
      WSAPOLLFD p{m_listener, POLLRDNORM, 0};
      if (::WSAPoll(&p, 1, 50) <= 0) continue;
      const SOCKET connection = ::accept(m_listener, nullptr, nullptr);
      if (connection == INVALID_SOCKET) continue;
      {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections.emplace_back();
      }
      char buffer[65536];
      for (int n; (n = ::recv(connection, buffer, sizeof buffer, 0)) > 0;) {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_connections.back().append(buffer, static_cast<std::size_t>(n));
      }
      ::closesocket(connection);
      ++finished;
    }
  }

  SOCKET m_listener = INVALID_SOCKET;
  std::thread m_thread;
  std::atomic<bool> m_stop{false};
  std::mutex m_mutex;
  std::vector<std::string> m_connections;
};

class WindowsCli : public ::testing::Test {
 protected:
  // Runs corvelle-cli.exe with the test's program folder and profile, stderr in `err`; when
  // `breakWhen` is given, asked every 20 ms, Ctrl-Break goes to the program once it holds. The
  // exit status, or -1 when the program had to be ended after 60 s.
  // With `ctrlC` the program gets a console of its own and Ctrl-C is sent on that console instead.
  int Run(const std::vector<std::string>& args, const std::function<bool()>& breakWhen = {}, bool ctrlC = false) {
    EXPECT_TRUE(profile.Save());
    std::wstring line = Quote("Z:" CORVELLE_BIN_DIR "/corvelle-cli.exe");
    for (const std::string& arg :
         std::vector<std::string>{"--program-folder", program, "--profile", profile.Path()}) {
      line += L" " + Quote(arg);
    }
    for (const std::string& arg : args) line += L" " + Quote(arg);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const std::wstring errPath = win::Widen(dir.File("stderr"));
    const HANDLE errFile = ::CreateFileW(errPath.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit, CREATE_ALWAYS,
                                         FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = errFile;
    startup.hStdError = errFile;
    PROCESS_INFORMATION process{};
    const bool started = ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE,
                                          ctrlC ? CREATE_NEW_CONSOLE : CREATE_NEW_PROCESS_GROUP, nullptr, nullptr,
                                          &startup, &process);
    ::CloseHandle(errFile);
    if (!started) {
      ADD_FAILURE() << "cannot start corvelle-cli.exe: " << ::GetLastError();
      return -1;
    }
    bool sent = false;
    DWORD code = static_cast<DWORD>(-1);
    for (int waited = 0; ::WaitForSingleObject(process.hProcess, 20) == WAIT_TIMEOUT; waited += 20) {
      if (breakWhen && !sent && breakWhen()) {
        sent = true;
        breakSent = ctrlC ? SendCtrlC(process.dwProcessId)
                          : ::GenerateConsoleCtrlEvent(CTRL_BREAK_EVENT, process.dwProcessId) != 0;
        if (!breakSent) ::TerminateProcess(process.hProcess, static_cast<UINT>(-1));
      }
      if (waited > 60'000) ::TerminateProcess(process.hProcess, static_cast<UINT>(-1));
    }
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    err = ReadFile(dir.File("stderr"));
    return static_cast<int>(code);
  }

  // The part-0 fragments of a font, selected for `position`.
  void SelectFont(int position, std::size_t dataBytes) {
    const std::string name = "fonts\\f" + std::to_string(position);
    std::string data(dataBytes, '\0');
    for (std::size_t i = 0; i < dataBytes; ++i) data[i] = static_cast<char>((i * 13 + position) % 251);
    dir.Write(name + "0.hea", std::string(100, static_cast<char>('h' + position)));
    dir.Write(name + "0.sh", data);
    profile.WriteString("FontsAggiuntivi", "Font00" + std::to_string(position), dir.File(name + ".she"));
  }

  void SetUp() override {
    ASSERT_TRUE(MakeFolders(program + "\\FontExt"));
    SelectFont(1, 3000);
  }

  test::TempDir dir;
  Profile profile{dir.File("corvelle.ini")};
  std::string program = dir.File("program");
  std::string first = dir.File("first.out"), second = dir.File("second.out");
  std::string err;
  bool breakSent = false;
};

TEST_F(WindowsCli, AFileDownloadWritesTheEngineFramedAnnouncementAndExactlyTheBuiltImage) {
  const std::string image = dir.File("built.shc");
  ASSERT_EQ(Run({"build", "--output", image}), 0) << err;
  const std::string built = ReadFile(image);
  ASSERT_GT(built.size(), 3000u);
  const auto areas = SplitImage(static_cast<std::int64_t>(built.size()), DownloadForm::Current);
  ASSERT_EQ(areas.size(), 1u);

  ASSERT_EQ(Run({"download", "-q", "--port", "FILE", "--output", first, "--output", second}), 0) << err;
  EXPECT_EQ(ReadFile(first), Announcement(areas[0]));
  EXPECT_TRUE(ReadFile(second) == built) << "the image on the port differs from the built one";
}

TEST_F(WindowsCli, CtrlBreakInTheFirstPauseIsStopAndTheImageIsNeverOpened) {
  const int code = Run({"download", "--port", "FILE", "--output", first, "--output", second},
                       [this] { return !ReadFile(first).empty(); });
  if (!breakSent) GTEST_SKIP() << "this Wine cannot send a console control event to a program without a console";
  EXPECT_EQ(code, 1) << err;
  EXPECT_NE(err.find("Download stopped."), std::string::npos) << err;
  EXPECT_FALSE(test::FileExists(second));
}

TEST_F(WindowsCli, ATcpIpDownloadCarriesTheEngineFramedAnnouncementThenExactlyTheBuiltImage) {
  const std::string image = dir.File("built.shc");
  ASSERT_EQ(Run({"build", "--output", image}), 0) << err;
  const std::string built = ReadFile(image);
  const auto areas = SplitImage(static_cast<std::int64_t>(built.size()), DownloadForm::Current);
  ASSERT_EQ(areas.size(), 1u);
  RecordingPrinter printer;
  ASSERT_EQ(Run({"download", "-q", "--port", "TCP/IP", "--ip", "127.0.0.1:" + std::to_string(printer.port)}), 0)
      << err;
  const auto connections = printer.Connections();
  ASSERT_EQ(connections.size(), 2u) << "one connection for the announcement, one for the image";
  EXPECT_EQ(connections[0], Announcement(areas[0]));
  EXPECT_TRUE(connections[1] == built) << "the image on the connection differs from the built one";
}

TEST_F(WindowsCli, ARefusedConnectionFailsWithTheConnectMessageAndItsWinsockNumber) {
  int port = 0;
  {
    RecordingPrinter gone;  // a port that was just free on 127.0.0.1, now closed again
    port = gone.port;
  }
  EXPECT_EQ(Run({"download", "-q", "--port", "TCP/IP", "--ip", "127.0.0.1:" + std::to_string(port)}), 1);
  // Standard error is a text stream: each line ends with CR LF.
  EXPECT_NE(err.find("TPC/IP - Failed to connect.\r\nWait a moment and retry !\r\nError nr.  10061.\r\n"),
            std::string::npos)
      << err;
}

TEST_F(WindowsCli, CtrlCInTheFirstPauseOfATcpIpDownloadIsStopAndTheImageIsNeverSent) {
  RecordingPrinter printer;
  const int code = Run({"download", "--port", "TCP/IP", "--ip", "127.0.0.1:" + std::to_string(printer.port)},
                       [&printer] { return printer.finished == 1; }, true);
  if (!breakSent) GTEST_SKIP() << "this Wine cannot send Ctrl-C to a console of the program's own";
  EXPECT_EQ(code, 1) << err;
  EXPECT_NE(err.find("Download stopped."), std::string::npos) << err;
  EXPECT_EQ(printer.Connections().size(), 1u) << "no connection after STOP";
}

TEST_F(WindowsCli, ASelectionSavedToAKvfFileLoadsBackIntoAnotherProfileUnderWindowsPaths) {
  const std::string kvf = dir.File("saved sets\\one.kvf");
  ASSERT_TRUE(MakeFolders(dir.File("saved sets")));
  ASSERT_EQ(Run({"selection", "save", kvf}), 0) << err;
  const std::string saved = ReadFile(kvf);
  ASSERT_NE(saved.find(dir.File("fonts\\f1.she")), std::string::npos) << saved;

  profile = Profile(dir.File("other.ini"));
  ASSERT_EQ(Run({"selection", "load", kvf}), 0) << err;
  // Run saves the profile object first: read back what the load stored.
  profile = Profile(dir.File("other.ini"));
  ASSERT_EQ(Run({"selection", "show"}), 0) << err;
  EXPECT_NE(err.find(program + "\\FontExt\\f1.she"), std::string::npos)
      << "a font outside FontExt is re-rooted into it:\n" << err;
}

TEST_F(WindowsCli, TheSeveralPrinterOptionsAreCheckedAsOnLinux) {
  EXPECT_EQ(Run({"download", "--ip", "127.0.0.1", "--jobs", "0"}), 2);
  EXPECT_EQ(Run({"download", "--ip", "127.0.0.1:1", "--ip", "127.0.0.1:2", "--port", "FILE"}), 2);
  EXPECT_NE(err.find("printers named by --ip or --ip-list are served over TCP/IP"), std::string::npos) << err;
}

TEST_F(WindowsCli, PingOfLoopbackAnswersWithItsTimeAndUsageErrorsStayTwo) {
  EXPECT_EQ(Run({"ping"}), 2);
  EXPECT_EQ(Run({"ping", "127.0.0.1", "127.0.0.2"}), 2);
  ASSERT_EQ(Run({"ping", "127.0.0.1"}), 0) << err;
  // Standard output is a text stream: the line ends with CR LF.
  EXPECT_EQ(err.rfind("Reply from 127.0.0.1: time=", 0), 0u) << err;
  EXPECT_EQ(err.substr(err.size() - 5), " ms\r\n") << err;
}

}  // namespace
}  // namespace corvelle
