// corvelle-cli ping, run as the built tool: its output and its exit codes.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace corvelle {
namespace {

// Runs `prefix corvelle-cli ping args` through the shell: its exit code, and "stdout|stderr".
std::pair<int, std::string> Ping(const std::string& prefix, const std::string& args) {
  test::TempDir dir;
  const std::string line = prefix + " " CORVELLE_BIN_DIR "/corvelle-cli ping " + args;
  const int status = std::system((line + " >" + dir.File("out") + " 2>" + dir.File("err")).c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, test::ReadFile(dir.File("out")) + "|" + test::ReadFile(dir.File("err"))};
}

TEST(PingCommand, ExitsWithZeroOnAReplyOneWithoutAndTwoOnUsageErrors) {
  EXPECT_EQ(Ping("", "").first, 2);
  EXPECT_EQ(Ping("", "127.0.0.1 127.0.0.2").first, 2);
  const auto help = Ping("", "--help");
  EXPECT_EQ(help.first, 0);
  EXPECT_EQ(help.second.rfind("Usage: corvelle-cli ping HOST\n", 0), 0u) << help.second;
  // Without a network of its own the look-up cannot leave the machine.
  if (std::system("unshare -n true") == 0) {
    EXPECT_EQ(Ping("unshare -n", "no-such-printer.invalid"),
              std::make_pair(1, std::string("|No reply from no-such-printer.invalid: host not found\n")));
  }
  if (::geteuid() != 0) GTEST_SKIP() << "raw ICMP sockets need root here";
  const auto reply = Ping("", "127.0.0.1");
  EXPECT_EQ(reply.first, 0) << reply.second;
  EXPECT_EQ(reply.second.rfind("Reply from 127.0.0.1: time=", 0), 0u) << reply.second;
  EXPECT_EQ(reply.second.substr(reply.second.size() - 5), " ms\n|") << reply.second;
}

}  // namespace
}  // namespace corvelle
