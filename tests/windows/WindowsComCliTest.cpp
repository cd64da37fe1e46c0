// SPDX-License-Identifier: MIT
// corvelle-cli.exe on a COM port under Wine, against pty-peer's pseudo-terminal: set-com sends
// the printer's command at the stored line settings and leaves the line at them, a download sends
// exactly the framed image at the profile's speed and stop bits with both flow controls on, and a
// COM or LPT port that does not exist fails with the device's message and exit 1.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ComPeer.h"
#include "base/Paths.h"
#include "base/Profile.h"
#include "base/win/WinText.h"
#include "download/DownloadPlan.h"
#include "ports/PortSettings.h"
#include "support/TempDir.h"
#include "CommandLineQuote.h"

namespace corvelle {
namespace {

using test::ReadFile;

using test::Quote;

class WindowsComCli : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!peer.Present()) GTEST_SKIP() << "needs pty-peer, which ctest starts these tests through";
    ASSERT_TRUE(MakeFolders(program + "\\FontExt"));
    std::string data(3000, '\0');
    for (std::size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>((i * 13 + 1) % 251);
    profile.WriteString("FontsAggiuntivi", "Font001", test::WriteFont(program, "f1", std::string(100, 'h'), data));
    profile.WriteString(kPortSection, "Port", peer.PortName());
  }

  // Runs corvelle-cli.exe with the test's program folder and profile, stderr in `err`; the exit
  // status, or -1 when the program had to be ended after 60 s.
  int Run(const std::vector<std::string>& args) {
    EXPECT_TRUE(profile.Save());
    std::wstring line = Quote("Z:" CORVELLE_BIN_DIR "/corvelle-cli.exe");
    for (const std::string& arg :
         std::vector<std::string>{"--program-folder", program, "--profile", profile.Path()}) {
      line += L" " + Quote(arg);
    }
    for (const std::string& arg : args) line += L" " + Quote(arg);
    SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
    const HANDLE errFile = ::CreateFileW(win::Widen(dir.File("stderr")).c_str(), GENERIC_WRITE, FILE_SHARE_READ,
                                         &inherit, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = errFile;
    startup.hStdError = errFile;
    PROCESS_INFORMATION process{};
    const bool started =
        ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    ::CloseHandle(errFile);
    if (!started) {
      ADD_FAILURE() << "cannot start corvelle-cli.exe: " << ::GetLastError();
      return -1;
    }
    if (::WaitForSingleObject(process.hProcess, 60'000) == WAIT_TIMEOUT) {
      ::TerminateProcess(process.hProcess, static_cast<UINT>(-1));
      ::WaitForSingleObject(process.hProcess, INFINITE);
    }
    DWORD code = static_cast<DWORD>(-1);
    ::GetExitCodeProcess(process.hProcess, &code);
    ::CloseHandle(process.hThread);
    ::CloseHandle(process.hProcess);
    err = ReadFile(dir.File("stderr"));
    return static_cast<int>(code);
  }

  test::ComPeer peer;
  test::TempDir dir;
  Profile profile{dir.File("corvelle.ini")};
  std::string program = dir.File("program");
  std::string err;
};

// Stored: 57600 baud (position 5), two stop bits, hardware flow on, XON/XOFF off. The command
// goes out at those settings, and the line keeps them afterwards.
TEST_F(WindowsComCli, SetComSendsThePrintersCommandAtTheStoredLineAndLeavesTheLineThere) {
  profile.WriteInt(kPortSection, "PortSpeed", 5);
  profile.WriteInt(kPortSection, "PortStopbits", 1);
  profile.WriteInt(kPortSection, "PortFlussoHardware", 1);
  profile.WriteInt(kPortSection, "PortXonXoff", 0);
  const std::size_t before = peer.Received().size();
  ASSERT_EQ(Run({"set-com", "--speed", "3", "--parity", "1", "--data-bits", "1", "--stop-bits", "0"}), 0) << err;
  EXPECT_EQ(peer.ReceivedOnce(before + 13).substr(before), "?A7&3,2,1,0\r\n");
  EXPECT_EQ(peer.Line(), "speed=57600 bits=8 parity=none stop=2 crtscts=1 ixon=0 ixoff=1 opost=0 icanon=0 echo=0\n");
  EXPECT_NE(err.find("Wait printer autorestart."), std::string::npos) << err;
}

// Stored: 38400 baud (position 4), two stop bits, both flow boxes clear; a download always asks
// for both flow controls. The port is named by --port.
TEST_F(WindowsComCli, ADownloadSendsExactlyTheFramedImageAtTheProfilesLineWithBothFlowControls) {
  const std::string image = dir.File("built.shc");
  ASSERT_EQ(Run({"build", "--output", image}), 0) << err;
  const std::string built = ReadFile(image);
  ASSERT_GT(built.size(), 3000u);
  const auto areas = SplitImage(static_cast<std::int64_t>(built.size()), DownloadForm::Current);
  ASSERT_EQ(areas.size(), 1u);
  profile.WriteInt(kPortSection, "PortSpeed", 4);
  profile.WriteInt(kPortSection, "PortStopbits", 1);
  profile.WriteInt(kPortSection, "PortFlussoHardware", 0);
  profile.WriteInt(kPortSection, "PortXonXoff", 0);
  profile.WriteString(kPortSection, "Port", "LPT1:");  // --port names the line instead
  const std::size_t before = peer.Received().size();
  ASSERT_EQ(Run({"download", "-q", "--port", peer.PortName()}), 0) << err;
  const std::string expected = Announcement(areas[0]) + built;
  const std::string sent = peer.ReceivedOnce(before + expected.size()).substr(before);
  EXPECT_EQ(sent.size(), expected.size());
  EXPECT_TRUE(sent == expected) << "the stream on the line differs from the announcement and the built image";
  EXPECT_EQ(peer.Line(), "speed=38400 bits=8 parity=none stop=2 crtscts=1 ixon=1 ixoff=1 opost=0 icanon=0 echo=0\n");
}

TEST_F(WindowsComCli, AComOrLptThatDoesNotExistFailsWithTheDevicesMessageAndExit1) {
  for (const std::string port : {"COM15:", "LPT2:"}) {
    EXPECT_EQ(Run({"download", "-q", "--port", port}), 1) << port;
    EXPECT_NE(err.find("The device is not open."), std::string::npos) << err;
    EXPECT_EQ(Run({"set-com", "--port", port, "--speed", "0", "--parity", "0", "--data-bits", "1", "--stop-bits",
                   "0"}),
              1)
        << port;
    EXPECT_NE(err.find("The device is not open."), std::string::npos) << err;
  }
}

}  // namespace
}  // namespace corvelle
