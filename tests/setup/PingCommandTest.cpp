// corvelle-cli ping, run as the built tool: its output, its exit codes and its time-out.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <string>

#include "support/TempDir.h"

namespace corvelle {
namespace {

struct CommandResult {
  int exitCode = -1;
  std::string out;
  std::string err;
};

// Runs a shell command line with the tool's path in $CLI.
CommandResult RunShell(const std::string& commandLine) {
  test::TempDir dir;
  const std::string script = "CLI='" CORVELLE_BIN_DIR "/corvelle-cli'; " + commandLine;
  const std::string line = "sh -c '" + [&] {
    std::string quoted;
    for (char c : script) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted;
  }() + "' >" + dir.File("out") + " 2>" + dir.File("err");
  const int status = std::system(line.c_str());
  CommandResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  result.out = test::ReadFile(dir.File("out"));
  result.err = test::ReadFile(dir.File("err"));
  return result;
}

bool NamespacesWork() { return RunShell("unshare -n true").exitCode == 0; }

TEST(PingCommand, PrintsTheRoundTripOfLoopback) {
  const CommandResult result = RunShell("\"$CLI\" ping 127.0.0.1");
  if (result.exitCode == 1 && result.err.find("Permission denied") != std::string::npos) {
    GTEST_SKIP() << "this process may open no ICMP socket: " << result.err;
  }
  EXPECT_EQ(result.exitCode, 0) << result.err;
  EXPECT_EQ(result.out.rfind("Reply from 127.0.0.1: time=", 0), 0u) << result.out;
  EXPECT_NE(result.out.find(" ms\n"), std::string::npos) << result.out;
}

TEST(PingCommand, ReportsATimeOutWhenNothingAnswers) {
  if (!NamespacesWork()) GTEST_SKIP() << "unshare -n is not permitted here";
  // Loopback in a namespace of its own that ignores echo requests: the full 5 s wait.
  const CommandResult result = RunShell(
      "unshare -n sh -c 'ip link set lo up && sysctl -qw net.ipv4.icmp_echo_ignore_all=1 && \"$0\" ping 127.0.0.1' "
      "\"$CLI\"");
  EXPECT_EQ(result.exitCode, 1) << result.err;
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "No reply from 127.0.0.1: timed out\n");
}

TEST(PingCommand, ReportsAnUnknownHost) {
  if (!NamespacesWork()) GTEST_SKIP() << "unshare -n is not permitted here";
  const CommandResult result = RunShell("unshare -n \"$CLI\" ping no-such-printer.invalid");
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_EQ(result.err, "No reply from no-such-printer.invalid: host not found\n");
}

TEST(PingCommand, NeedsExactlyOneHost) {
  EXPECT_EQ(RunShell("\"$CLI\" ping").exitCode, 2);
  EXPECT_EQ(RunShell("\"$CLI\" ping 127.0.0.1 127.0.0.2").exitCode, 2);
  const CommandResult help = RunShell("\"$CLI\" ping --help");
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_EQ(help.out.rfind("Usage: corvelle-cli ping HOST\n", 0), 0u) << help.out;
}

}  // namespace
}  // namespace corvelle
