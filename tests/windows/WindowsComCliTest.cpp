// SPDX-License-Identifier: MIT
// corvelle-cli.exe on a COM port under Wine, against pty-peer's pseudo-terminal: set-com sends
// the printer's command at the stored line settings and leaves the line at them, a download sends
// exactly the framed image at the profile's speed and stop bits with both flow controls on, port
// names typed the Windows way reach the same line, and a COM or LPT port that does not exist
// fails with the device's message and exit 1.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "CliProcess.h"
#include "ComPeer.h"
#include "download/DownloadPlan.h"
#include "ports/PortSettings.h"

namespace corvelle {
namespace {

using test::ReadFile;

class WindowsComCli : public test::CliFolders {
 protected:
  void SetUp() override {
    if (!peer.Present()) GTEST_SKIP() << "needs pty-peer, which ctest starts these tests through";
    CliFolders::SetUp();
    profile.WriteString(kPortSection, "Port", peer.PortName());
  }
  // The stored line: speed position, stop bits, hardware flow, XON/XOFF.
  void StoreLine(int speed, int stopBits, int hardware, int xonXoff) {
    profile.WriteInt(kPortSection, "PortSpeed", speed);
    profile.WriteInt(kPortSection, "PortStopbits", stopBits);
    profile.WriteInt(kPortSection, "PortFlussoHardware", hardware);
    profile.WriteInt(kPortSection, "PortXonXoff", xonXoff);
  }

  test::ComPeer peer;
};

// Stored: 57600 baud (position 5), two stop bits, hardware flow on, XON/XOFF off. The command
// goes out at those settings, and the line keeps them afterwards.
TEST_F(WindowsComCli, SetComSendsThePrintersCommandAtTheStoredLineAndLeavesTheLineThere) {
  StoreLine(5, 1, 1, 0);
  const std::size_t before = peer.Received().size();
  const test::CliRun run = Run({"set-com", "--speed", "3", "--parity", "1", "--data-bits", "1", "--stop-bits", "0"});
  ASSERT_EQ(run.code, 0) << run.err;
  EXPECT_EQ(peer.ReceivedOnce(before + 13).substr(before), "?A7&3,2,1,0\r\n");
  EXPECT_EQ(peer.Line(), "speed=57600 bits=8 parity=none stop=2 crtscts=1 ixon=0 ixoff=1 opost=0 icanon=0 echo=0\n");
  EXPECT_NE((run.out + run.err).find("Wait printer autorestart."), std::string::npos) << run.out << run.err;
}

// Stored: 38400 baud (position 4), two stop bits, both flow boxes clear; a download always asks
// for both flow controls. The port is named by --port.
TEST_F(WindowsComCli, ADownloadSendsExactlyTheFramedImageAtTheProfilesLineWithBothFlowControls) {
  const std::string image = dir.File("built.shc");
  test::CliRun run = Run({"build", "--output", image});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string built = ReadFile(image);
  const auto areas = SplitImage(static_cast<std::int64_t>(built.size()), DownloadForm::Current);
  ASSERT_EQ(areas.size(), 1u);
  StoreLine(4, 1, 0, 0);
  profile.WriteString(kPortSection, "Port", "LPT1:");  // --port names the line instead
  const std::size_t before = peer.Received().size();
  run = Run({"download", "-q", "--port", peer.PortName()});
  ASSERT_EQ(run.code, 0) << run.err;
  const std::string expected = Announcement(areas[0]) + built;
  const std::string sent = peer.ReceivedOnce(before + expected.size()).substr(before);
  EXPECT_EQ(sent.size(), expected.size());
  EXPECT_TRUE(sent == expected) << "the stream on the line differs from the announcement and the built image";
  EXPECT_EQ(peer.Line(), "speed=38400 bits=8 parity=none stop=2 crtscts=1 ixon=1 ixoff=1 opost=0 icanon=0 echo=0\n");
}

// Windows users name a port without the colon, in any case, or as the system's device: each
// reaches the same line. Device number 0 and device paths are refused before anything is opened.
TEST_F(WindowsComCli, PortNamesAsWindowsUsersTypeThemReachTheLineTheListNames) {
  profile.WriteString(kPortSection, "Port", "LPT1:");
  for (const std::string port : {"com12", "Com12:", "\\\\.\\COM12"}) {
    const std::size_t before = peer.Received().size();
    const test::CliRun run =
        Run({"set-com", "--port", port, "--speed", "3", "--parity", "1", "--data-bits", "1", "--stop-bits", "0"});
    ASSERT_EQ(run.code, 0) << port << ": " << run.err;
    EXPECT_EQ(peer.ReceivedOnce(before + 13).substr(before), "?A7&3,2,1,0\r\n") << port;
  }
  for (const std::string port : {"com0", "/dev/ttyS0"}) {
    const test::CliRun run = Run({"download", "-q", "--port", port});
    EXPECT_EQ(run.code, 2) << port;
    EXPECT_NE(run.err.find("Unknown port \"" + port + "\": choose COM1: to COM16:"), std::string::npos) << run.err;
    EXPECT_EQ(run.err.find("/dev/ttyUSB0"), std::string::npos) << run.err;
  }
}

TEST_F(WindowsComCli, AComOrLptThatDoesNotExistFailsWithTheDevicesMessageAndExit1) {
  for (const std::string port : {"COM15:", "LPT2:"}) {
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"download", "-q", "--port", port},
          {"set-com", "--port", port, "--speed", "0", "--parity", "0", "--data-bits", "1", "--stop-bits", "0"}}) {
      const test::CliRun run = Run(args);
      EXPECT_EQ(run.code, 1) << args[0] << " " << port;
      EXPECT_NE(run.err.find("The device is not open."), std::string::npos) << run.err;
    }
  }
}

}  // namespace
}  // namespace corvelle
