// SPDX-License-Identifier: MIT
// Which ports corvelle-cli download and set-com accept, run as the built program: unknown port
// names are refused before anything is built or sent (usage error for --port, failure for a
// stored one), set-com takes --port, opens an RS-485 line without hardware flow control and the
// 57600 position at 57600 baud, and needs --output for FILE.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "base/Paths.h"
#include "cli/CliKit.h"
#include "fontset/FontSetBuilder.h"
#include "ports/PortSettings.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

using test::ReadFile;

const std::vector<std::string> kSetCom = {"set-com", "--speed", "0", "--parity", "0", "--data-bits", "1",
                                          "--stop-bits", "0"};

std::vector<std::string> With(std::vector<std::string> args, const std::vector<std::string>& more) {
  args.insert(args.end(), more.begin(), more.end());
  return args;
}

class CliPortRules : public test::CliTest {
 protected:
  void SetUp() override { SelectFont(1, 100, 1000); }
  bool NothingBuilt() const { return !test::FileExists(DefaultFontSetPath(program)); }
};

TEST_F(CliPortRules, UnknownPortNamesAreRefusedBeforeAnythingIsBuiltOrSent) {
  for (const std::string name : {"tcp/ip", "NOPE", "COM0:", "COMX"}) {
    const std::string named = "Unknown port \"" + name + "\"";
    EXPECT_EQ(Run({"download", "--port", name}), 2) << name;
    EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
    EXPECT_EQ(Run(With(kSetCom, {"--port", name})), 2) << name;
    EXPECT_NE(run.err.find(named), std::string::npos) << run.err;
  }
  EXPECT_TRUE(NothingBuilt());
  // A stored name is no usage error, and it stays in the profile.
  profile.WriteString(kPortSection, "Port", "NOPE");
  EXPECT_EQ(Run({"download"}), 1);
  EXPECT_NE(run.err.find("Unknown port \"NOPE\""), std::string::npos) << run.err;
  EXPECT_EQ(Run(kSetCom), 1);
  EXPECT_NE(run.err.find("Unknown port \"NOPE\""), std::string::npos) << run.err;
  EXPECT_TRUE(NothingBuilt());
  EXPECT_NE(ReadFile(profile.Path()).find("Port=NOPE"), std::string::npos);
}

TEST_F(CliPortRules, SetComNeedsAnOutputForTheFilePortAndWritesTheCommandThere) {
  EXPECT_EQ(Run(With(kSetCom, {"--port", "FILE"})), 1);
  EXPECT_EQ(run.err, "The FILE port needs --output FILE: no output file was given.\n");
  const std::string out = dir.File("command.out");
  EXPECT_EQ(Run(With(kSetCom, {"--port", "FILE", "--output", out})), 0) << run.err;
  EXPECT_EQ(ReadFile(out), "?A7&0,0,1,0\r\n");
  EXPECT_EQ(run.err, Line(IDS_WAIT_AUTORESTART));
}

// set-com on a serial line named by --port (a pseudo-terminal's path), at the stored settings:
// speed position 5 with hardware flow control asked, once with RS-485 on and once off. The line
// keeps its settings after the program, so the test reads them from a second open.
TEST_F(CliPortRules, SetComOpensTheStoredLineAt57600WithoutHardwareFlowWhileRs485IsOn) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
  const std::string slave = ::ptsname(master);
  profile.WriteInt(kPortSection, "PortSpeed", 5);
  profile.WriteInt(kPortSection, "PortFlussoHardware", 1);
  for (const int rs485 : {1, 0}) {
    profile.WriteInt(kPortSection, "Rs485On", rs485);
    ASSERT_EQ(Run(With(kSetCom, {"--port", slave})), 0) << run.err;
    EXPECT_EQ(run.err, Line(IDS_WAIT_AUTORESTART));
    char command[64] = {};
    EXPECT_EQ(std::string(command, static_cast<std::size_t>(std::max(0L, ::read(master, command, sizeof command)))),
              "?A7&0,0,1,0\r\n");
    termios line{};
    const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    ASSERT_EQ(::tcgetattr(fd, &line), 0);
    ::close(fd);
    EXPECT_EQ(::cfgetospeed(&line), static_cast<speed_t>(B57600));
    EXPECT_EQ((line.c_cflag & CRTSCTS) != 0, rs485 == 0) << "RS-485 " << rs485;
  }
  ::close(master);
}

}  // namespace
}  // namespace corvelle
