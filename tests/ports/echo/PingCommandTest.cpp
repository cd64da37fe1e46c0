// SPDX-License-Identifier: MIT
// corvelle-cli ping, run as the built tool: its output and its exit codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

TEST(PingCommand, ExitsWithZeroOnAReplyOneWithoutAndTwoOnUsageErrors) {
  test::TempDir dir;
  const std::string cli = CORVELLE_BIN_DIR "/corvelle-cli";
  // "exit code|stdout|stderr" of a run.
  const auto run = [&](const std::vector<std::string>& args) {
    const test::ProgramRun r = test::RunProgram(dir, args);
    return std::to_string(r.exit) + "|" + r.out + "|" + r.err;
  };
  EXPECT_EQ(run({cli, "ping"}).substr(0, 2), "2|");
  EXPECT_EQ(run({cli, "ping", "127.0.0.1", "127.0.0.2"}).substr(0, 2), "2|");
  EXPECT_EQ(run({cli, "ping", "--help"}).rfind("0|Usage: corvelle-cli ping HOST\n", 0), 0u);
  // Without a network of its own the look-up cannot leave the machine.
  if (std::system("unshare -n true") == 0) {
    EXPECT_EQ(run({"unshare", "-n", cli, "ping", "no-such-printer.invalid"}),
              "1||No reply from no-such-printer.invalid: host not found\n");
  }
  if (::geteuid() != 0) GTEST_SKIP() << "raw ICMP sockets need root here";
  const std::string reply = run({cli, "ping", "127.0.0.1"});
  EXPECT_EQ(reply.rfind("0|Reply from 127.0.0.1: time=", 0), 0u) << reply;
  EXPECT_EQ(reply.substr(reply.size() - 5), " ms\n|") << reply;
}

}  // namespace
}  // namespace corvelle
