// SPDX-License-Identifier: MIT
// Ctrl-C, SIGTERM and SIGHUP in corvelle-cli run as the built program: every wait ends within a
// second without spinning (a TCP connect to a printer whose listen queue is full, the echo probe
// of a printer that never answers, a FILE port on a FIFO nobody reads, a ping), and a serial line
// is always given back, so the next program can open it.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "base/UniqueFd.h"
#include "cli/CliKit.h"
#include "support/Unprivileged.h"

namespace corvelle {
namespace {

// Runs the command in a network namespace of its own where loopback is up and ignores echo
// requests: a probe of 127.0.0.1 waits for its whole time-out, and nothing leaves the machine.
const std::vector<std::string> kSilentNetwork = {
    "/usr/bin/env", "unshare", "-n", "sh", "-c",
    "ip link set lo up && echo 1 >/proc/sys/net/ipv4/icmp_echo_ignore_all && exec \"$0\" \"$@\""};

bool SilentNetworkAvailable() {
  return std::system("unshare -n sh -c 'ip link set lo up && echo 1 >/proc/sys/net/ipv4/icmp_echo_ignore_all' "
                     ">/dev/null 2>&1") == 0;
}

// Whether this user's echo probe gets an answer from 127.0.0.1 (raw ICMP as root, or datagram
// ICMP where net.ipv4.ping_group_range allows it): the TCP/IP kind tests the address first.
bool LoopbackAnswersEcho(const test::TempDir& dir) {
  return test::RunProgram(dir, {CORVELLE_BIN_DIR "/corvelle-cli", "ping", "127.0.0.1"}).exit == 0;
}

class CliStop : public test::CliTest {
 protected:
  void SetUp() override { SelectFont(1, 100, 1000); }
  // The run ended as a stop should: at once, with little CPU, "Download stopped." and status 1.
  void ExpectStopped(int exit, const char* message = "Download stopped.") {
    EXPECT_EQ(exit, 1) << run.err;
    EXPECT_NE(run.err.find(message), std::string::npos) << run.err;
    EXPECT_GE(run.secondsAfterSignal, 0);
    EXPECT_LT(run.secondsAfterSignal, 1.0);
    EXPECT_LT(run.cpuSeconds, 0.5);
  }
};

TEST_F(CliStop, CtrlCEndsAConnectToAPrinterWhoseListenQueueIsFull) {
  if (!LoopbackAnswersEcho(dir)) GTEST_SKIP() << "no echo answer from 127.0.0.1 for this user";
  // listen(fd, 0) keeps one connection waiting to be accepted; once it is there, the kernel
  // drops every further SYN, so a new connect waits unanswered.
  const UniqueFd listener(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0));
  sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
  socklen_t length = sizeof address;
  ASSERT_EQ(::bind(listener.Get(), reinterpret_cast<sockaddr*>(&address), length) + ::listen(listener.Get(), 0) +
                ::getsockname(listener.Get(), reinterpret_cast<sockaddr*>(&address), &length),
            0);
  std::vector<UniqueFd> queued;
  for (int i = 0; i < 2; ++i) {
    queued.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
    ::connect(queued.back().Get(), reinterpret_cast<sockaddr*>(&address), length);
  }
  pollfd first{queued.front().Get(), POLLOUT, 0};
  ASSERT_EQ(::poll(&first, 1, 2000), 1) << "the first connection fills the queue";
  const std::string port = std::to_string(ntohs(address.sin_port));
  ExpectStopped(Run({"download", "--port", "TCP/IP", "--ip", "127.0.0.1", "--ip-port", port}, test::After(1500)));
}

TEST_F(CliStop, CtrlCEndsTheEchoProbeOfAPrinterThatNeverAnswersAndAPing) {
  if (!SilentNetworkAvailable()) GTEST_SKIP() << "no network namespace here (needs CAP_SYS_ADMIN)";
  launcher = kSilentNetwork;
  ExpectStopped(Run({"download", "--port", "TCP/IP", "--ip", "127.0.0.1", "--ip-port", "9"}, test::After(800)));
  EXPECT_EQ(run.err.find("not responding"), std::string::npos) << "a stop is no failure: " << run.err;
  ExpectStopped(Run({"ping", "127.0.0.1"}, test::After(800)), "Ping stopped.");
  EXPECT_EQ(run.err.find("No reply"), std::string::npos) << "a stop is no failure: " << run.err;
}

TEST_F(CliStop, CtrlCEndsAFilePortOnAFifoThatNobodyReads) {
  const std::string fifo = dir.File("printer.fifo");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ExpectStopped(Run({"download", "--port", "FILE", "--output", fifo}, test::After(800)));
}

// SIGTERM and SIGHUP stop a download to a serial line (a pseudo-terminal named by its path) in its
// first pause; the line's exclusive mode is taken off, so another user opens it at once.
TEST_F(CliStop, TerminationSignalsGiveTheSerialLineBack) {
  const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0);
  const std::string slave = ::ptsname(master);
  ASSERT_EQ(::chmod(slave.c_str(), 0666), 0);
  // The master side reports a hang-up, not input, until the program opens the line.
  const auto announced = [master](const test::Finished&) {
    pollfd in{master, POLLIN, 0};
    return ::poll(&in, 1, 0) == 1 && (in.revents & POLLIN);
  };
  for (const int signal : {SIGTERM, SIGHUP}) {
    ExpectStopped(Run({"download", "--port", slave}, announced, signal));
    const int line = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    int exclusive = -1;
    EXPECT_EQ(::ioctl(line, TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0) << "signal " << signal;
    ::close(line);
    // Root may open an exclusive line; another user may not.
    EXPECT_EQ(test::RunUnprivileged([&] {
                const int fd = ::open(slave.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
                return fd >= 0 ? 0 : 1;
              }),
              0)
        << "signal " << signal;
    char drained[4096];
    while (::read(master, drained, sizeof drained) > 0) {
    }
  }
  ::close(master);
}

}  // namespace
}  // namespace corvelle
