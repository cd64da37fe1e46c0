// SPDX-License-Identifier: MIT
// Fixture for running the built corvelle-cli against a program folder and a profile made for the
// test: fonts selected by hand, a signal sent once a condition holds, and what the run took (its
// exit status, stderr, CPU time and how long it took to end after the signal).
#pragma once

#include <gtest/gtest.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "base/Profile.h"
#include "resources/Strings.h"
#include "support/TempDir.h"
#include "tools/SimProcess.h"

namespace corvelle::test {

class CliFixture : public ::testing::Test {
 protected:
  // Runs corvelle-cli (through `launcher`, e.g. {"unshare", "-n", ...}, when given) with the
  // test's program folder and profile, and sends `signal` once `signalWhen`, asked every 5 ms,
  // answers true; the exit status (-1 when it did not exit by itself), with stderr in `err`, the
  // process's user and system time in `cpuSeconds` and the seconds from the signal to the end in
  // `secondsAfterSignal`.
  int Run(std::vector<std::string> args, const std::function<bool()>& signalWhen = {}, int signal = SIGINT,
          std::vector<std::string> launcher = {}) {
    const pid_t pid = Start(std::move(args), -1, dir.File("stderr"), std::move(launcher));
    int status = 0;
    rusage usage{};
    using Clock = std::chrono::steady_clock;
    std::optional<Clock::time_point> sent;
    // A program still running 5 s after the signal hangs: it is killed, and the run fails.
    while (pid > 0 && ::wait4(pid, &status, signalWhen ? WNOHANG : 0, &usage) == 0) {
      if (!sent && signalWhen()) {
        sent = Clock::now();
        ::kill(pid, signal);
      } else if (sent && Clock::now() - *sent > std::chrono::seconds(5)) {
        ::kill(pid, SIGKILL);
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    secondsAfterSignal = sent ? std::chrono::duration<double>(Clock::now() - *sent).count() : -1;
    const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
    err = ReadFile(dir.File("stderr"));
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // Starts corvelle-cli as Run does, without waiting: stdout on `out` (-1: the test's own), stderr
  // into the file `errPath`.
  pid_t Start(std::vector<std::string> args, int out, const std::string& errPath,
              std::vector<std::string> launcher = {}) {
    EXPECT_TRUE(profile.Save());
    args.insert(args.begin(), {CORVELLE_BIN_DIR "/corvelle-cli", "--program-folder", program, "--profile",
                               profile.Path()});
    args.insert(args.begin(), launcher.begin(), launcher.end());
    return Spawn(args, out, errPath);
  }

  // Start, with stdout into NAME.out and stderr into NAME.err in the test's folder.
  pid_t StartNamed(const std::string& name, std::vector<std::string> args, std::vector<std::string> launcher = {}) {
    const int out = ::open(dir.File(name + ".out").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    const pid_t pid = Start(std::move(args), out, dir.File(name + ".err"), std::move(launcher));
    ::close(out);
    return pid;
  }
  std::string Out(const std::string& name) const { return ReadFile(dir.File(name + ".out")); }
  std::string Err(const std::string& name) const { return ReadFile(dir.File(name + ".err")); }

  // The exit status of a run Start began, once it ends; -1 when it did not exit by itself or was
  // still running after `limit` (then it is killed). SIGINT is sent once `interruptWhen`, asked
  // every 5 ms, answers true.
  static int Wait(pid_t pid, std::chrono::milliseconds limit, const std::function<bool()>& interruptWhen = {}) {
    const auto end = std::chrono::steady_clock::now() + limit;
    bool interrupted = !interruptWhen;
    int status = 0;
    while (pid > 0 && ::waitpid(pid, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > end) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, &status, 0);
        return -1;
      }
      if (!interrupted && (interrupted = interruptWhen())) ::kill(pid, SIGINT);
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

  // A condition for Run that holds once `ms` milliseconds have passed since it was made.
  static std::function<bool()> After(int ms) {
    const auto at = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
    return [at] { return std::chrono::steady_clock::now() >= at; };
  }

  void SelectFont(int position, std::size_t headerBytes, std::size_t dataBytes) {
    test::SelectFont(profile, program, position, headerBytes, dataBytes);
  }

  static std::string Line(int id) { return std::string(LoadStr(id)) + "\n"; }

  TempDir dir;
  Profile profile{dir.File("corvelle.ini")};
  std::string program = dir.File("program");
  std::string err;
  double cpuSeconds = 0;
  double secondsAfterSignal = -1;
};

}  // namespace corvelle::test
