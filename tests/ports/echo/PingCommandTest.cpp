// SPDX-License-Identifier: MIT
// corvelle-cli ping, run as the built tool: its output and its exit codes.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "support/Loopback.h"
#include "support/TempDir.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

// Exit 0 on a reply, 1 without, 2 on usage errors; after the echo a second line says what the
// port did: a listener on 127.0.0.1 accepts, the same port once the listener is gone refuses.
TEST(PingCommand, ExitsByTheEchoAndSaysOnASecondLineWhatThePortDid) {
  test::TempDir dir;
  const std::string cli = CORVELLE_BIN_DIR "/corvelle-cli";
  // "exit code|stdout|stderr" of a run.
  const auto run = [&](const std::vector<std::string>& args) {
    const test::ProgramRun r = test::RunProgram(dir, args);
    return std::to_string(r.exit) + "|" + r.out + "|" + r.err;
  };
  EXPECT_EQ(run({cli, "ping"}).substr(0, 2), "2|");
  EXPECT_EQ(run({cli, "ping", "127.0.0.1", "127.0.0.2"}).substr(0, 2), "2|");
  for (const std::string bad : {"0", "65536", "x"}) {
    EXPECT_EQ(run({cli, "ping", "127.0.0.1", "--port", bad}).substr(0, 2), "2|") << bad;
  }
  EXPECT_EQ(run({cli, "ping", "--help"}).rfind("0|Usage: corvelle-cli ping HOST [--port N]\n", 0), 0u);
  // Without a network of its own the look-up cannot leave the machine.
  if (std::system("unshare -n true") == 0) {
    EXPECT_EQ(run({"unshare", "-n", cli, "ping", "no-such-printer.invalid"}),
              "1||No reply from no-such-printer.invalid: host not found\n");
  }
  if (::geteuid() != 0) GTEST_SKIP() << "raw ICMP sockets need root here";
  // Without --port it is 4001, whatever listens there on this machine.
  const std::string reply = run({cli, "ping", "127.0.0.1"});
  EXPECT_EQ(reply.rfind("0|Reply from 127.0.0.1: time=", 0), 0u) << reply;
  EXPECT_NE(reply.find(" ms\nPort 4001 "), std::string::npos) << reply;
  std::string port;
  {
    const test::LoopbackPort listener(4);
    ASSERT_NE(listener.port, 0);
    port = std::to_string(listener.port);
    const std::string accepted = run({cli, "ping", "127.0.0.1", "--port", port});
    EXPECT_EQ(accepted.rfind("0|Reply from 127.0.0.1: time=", 0), 0u) << accepted;
    EXPECT_TRUE(accepted.ends_with(" ms\nPort " + port + " accepts connections\n|")) << accepted;
  }
  const std::string refused = run({cli, "ping", "127.0.0.1", "--port=" + port});
  EXPECT_TRUE(refused.starts_with("0|Reply from 127.0.0.1: time=")) << refused;
  EXPECT_TRUE(refused.ends_with(" ms\nPort " + port + " refused the connection\n|")) << refused;
}

}  // namespace
}  // namespace corvelle
