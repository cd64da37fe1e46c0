// kerv-printer-sim on a pseudo-terminal, as a serial printer: the data follows its announcement
// on the line; the set-up command; --talk; and the command line itself.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "tools/SimProcess.h"
#include "tools/TestImages.h"

namespace corvelle {
namespace {

using test::Announcement;
using test::SimProcess;
const auto Text = test::EventText;
const auto Number = test::EventNumber;
const auto Flag = test::EventFlag;

// The slave side, opened as a port would open it.
class SerialLine {
 public:
  explicit SerialLine(const std::string& path) : m_fd(::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {}
  ~SerialLine() {
    if (m_fd >= 0) ::close(m_fd);
  }
  bool IsOpen() const { return m_fd >= 0; }
  bool Write(std::string_view bytes) {
    while (!bytes.empty()) {
      const ssize_t n = ::write(m_fd, bytes.data(), bytes.size());
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
  }
  std::string Read(std::size_t count) {
    std::string bytes;
    char buffer[256];
    while (bytes.size() < count) {
      pollfd ready{m_fd, POLLIN, 0};
      if (::poll(&ready, 1, 10000) <= 0) break;
      const ssize_t n = ::read(m_fd, buffer, std::min(sizeof buffer, count - bytes.size()));
      if (n <= 0) break;
      bytes.append(buffer, static_cast<std::size_t>(n));
    }
    return bytes;
  }

 private:
  int m_fd;
};

TEST(PrinterSimPty, TheAreaFollowsItsAnnouncementOnTheLine) {
  SimProcess sim({"--pty"});
  ASSERT_TRUE(sim.Started());
  EXPECT_EQ(sim.Port(), 0);
  ASSERT_EQ(sim.PtyPath().rfind("/dev/pts/", 0), 0u) << sim.PtyPath();
  EXPECT_EQ(Text(sim.Next("pty_opened"), "path"), sim.PtyPath());

  const std::string image = test::MakeLegacyImage({2000, 3000});
  {
    SerialLine line(sim.PtyPath());
    ASSERT_TRUE(line.IsOpen());
    ASSERT_TRUE(line.Write(Announcement(1, image.size())));
  }
  // The port is closed between the announcement and the data, then opened again.
  SerialLine line(sim.PtyPath());
  ASSERT_TRUE(line.Write(image));

  const auto announced = sim.Next("announcement");
  EXPECT_EQ(Text(announced, "source"), "pty");
  EXPECT_TRUE(announced && announced->value("connection").isNull());
  EXPECT_EQ(Number(announced, "length"), static_cast<long long>(image.size()));
  const auto area = sim.Next("area_received");
  EXPECT_TRUE(Flag(area, "complete"));
  const auto judged = sim.Next("image");
  EXPECT_EQ(Text(judged, "verdict"), "consistent") << Text(judged, "problem");
  EXPECT_EQ(Text(judged, "format"), "FontSet.SHF");
}

TEST(PrinterSimPty, TheSetupCommandIsDecoded) {
  SimProcess sim({"--pty"});
  ASSERT_TRUE(sim.Started());
  SerialLine line(sim.PtyPath());
  ASSERT_TRUE(line.Write("noise\x3F\x41\x37\x26\x33\x2C\x32\x2C\x31\x2C\x30\x0D\x0A"));
  const auto noise = sim.Next("unexpected_bytes");
  EXPECT_EQ(Number(noise, "count"), 5);
  EXPECT_EQ(Text(noise, "first"), "6E 6F 69 73 65");
  const auto setup = sim.Next("setup_command");
  EXPECT_EQ(Text(setup, "raw"), "?A7&3,2,1,0\r\n");
  EXPECT_EQ(Number(setup, "speed"), 19200);
  EXPECT_EQ(Text(setup, "parity"), "Even");
  EXPECT_EQ(Number(setup, "parity_code"), 2);
  EXPECT_EQ(Number(setup, "data_bits"), 8);
  EXPECT_EQ(Number(setup, "stop_bits"), 1);
}

TEST(PrinterSimPty, TalkAnswersEveryCommandOnTheLine) {
  SimProcess sim({"--pty", "--talk", "7"});
  ASSERT_TRUE(sim.Started());
  SerialLine line(sim.PtyPath());
  ASSERT_TRUE(line.Write("?A7&0,0,1,0\r\n"));
  EXPECT_EQ(line.Read(7), std::string("KERV\0KE", 7));
  ASSERT_TRUE(line.Write("?A7&1,0,1,0\r\n"));
  EXPECT_EQ(line.Read(7), std::string("RV\0KERV", 7));
}

TEST(PrinterSimPty, TcpAndThePseudoTerminalTogether) {
  SimProcess sim({"--pty", "--tcp", "--port", "0"});
  ASSERT_TRUE(sim.Started());
  EXPECT_GT(sim.Port(), 0);
  EXPECT_FALSE(sim.PtyPath().empty());
}

struct RunResult {
  int status = -1;
  std::string out;
};

RunResult RunSimulator(const std::string& arguments) {
  RunResult result;
  const std::string command = CORVELLE_BIN_DIR "/kerv-printer-sim " + arguments + " 2>/dev/null";
  std::FILE* pipe = ::popen(command.c_str(), "r");
  if (!pipe) return result;
  char buffer[4096];
  while (const std::size_t n = std::fread(buffer, 1, sizeof buffer, pipe)) result.out.append(buffer, n);
  const int status = ::pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

TEST(PrinterSimCommandLine, HelpNamesEveryOption) {
  const RunResult help = RunSimulator("--help");
  EXPECT_EQ(help.status, 0);
  for (const char* option : {"--port", "--bind", "--pty", "--tcp", "--log", "--quiet", "--store", "--close-after",
                             "--stall", "--talk", "--exit-after-images", "--help"}) {
    EXPECT_NE(help.out.find(std::string("  ") + option + " "), std::string::npos) << option;
  }
}

TEST(PrinterSimCommandLine, BadArgumentsAreUsageErrorsAndSetupFailuresStatusOne) {
  EXPECT_EQ(RunSimulator("--port 65536").status, 2);
  EXPECT_EQ(RunSimulator("--port x").status, 2);
  EXPECT_EQ(RunSimulator("--exit-after-images 0").status, 2);
  EXPECT_EQ(RunSimulator("--close-after -1").status, 2);
  EXPECT_EQ(RunSimulator("--bogus").status, 2);
  EXPECT_EQ(RunSimulator("stray").status, 2);
  EXPECT_EQ(RunSimulator("--bind printer.example --port 0").status, 1);
  EXPECT_EQ(RunSimulator("--port 0 --log /nonexistent-folder/log.json").status, 1);
}

}  // namespace
}  // namespace corvelle
