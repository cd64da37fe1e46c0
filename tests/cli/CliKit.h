// SPDX-License-Identifier: MIT
// Runs the built corvelle-cli as a user does: with a program folder, a profile and a history of
// the test's own, its output on pipes or a pseudo-terminal of a chosen size, a signal sent once a
// condition holds; and a fixture for tests that edit the profile between runs.
#pragma once

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/types.h>

#include <QJsonObject>
#include <functional>
#include <future>
#include <string>
#include <vector>

#include "base/Profile.h"
#include "resources/Strings.h"
#include "support/TempDir.h"

namespace corvelle::test {

struct Finished {
  int exit = -1;     // -1 when it did not exit normally
  std::string out;   // standard output
  std::string err;   // standard error (or the terminal's output)
  pid_t pid = -1;
  double cpuSeconds = 0;            // the program's user and system time
  double secondsAfterSignal = -1;   // from the signal to the end; -1 when none was sent
};

// Asked every 5 ms with the output so far; true sends the run its signal.
using Interrupt = std::function<bool(const Finished& sofar)>;

class CliKit {
 public:
  CliKit();

  // The selection of one font whose fragments make an image of about `dataBytes`.
  void SelectFont(std::size_t dataBytes);
  // corvelle-cli with the kit's folders, then `args`; stdout and stderr captured through pipes.
  // `signal` is sent once `interruptWhen` answers true; a program still running 5 s after it is
  // killed. `launcher` runs in front of corvelle-cli, e.g. {"/usr/bin/prlimit", "--nofile=80:80", "--"}.
  Finished Run(const std::vector<std::string>& args, const Interrupt& interruptWhen = {}, int signal = SIGINT,
               const std::vector<std::string>& launcher = {}) const;
  // The same with stdout on `outFd` (left open for the caller) and stderr captured.
  Finished RunWithStdout(const std::vector<std::string>& args, int outFd) const;
  // corvelle-cli with stderr on a new pseudo-terminal `columns` wide and TERM=`term`; `watch`
  // sees the terminal's output as it grows, and may resize the terminal (its fd given) or
  // answer true to send Ctrl-C (SIGINT). The terminal's output is `err`; with `stdoutToo` stdout
  // is on the terminal as well.
  Finished RunOnTerminal(const std::vector<std::string>& args, unsigned short columns, const std::string& term,
                         const std::function<bool(const std::string& seen, int master)>& watch,
                         bool stdoutToo = false) const;

  std::string HistoryPath() const { return dir.File("state/corvelle/downloads.jsonl"); }

  TempDir dir;
  std::string program = dir.File("program");
  std::string profile = dir.File("config/corvelle.ini");
  std::vector<std::string> environment;  // NAME=VALUE put in the program's environment

 private:
  std::vector<std::string> Command(const std::vector<std::string>& args,
                                   const std::vector<std::string>& launcher = {}) const;
};

// A test whose profile is at hand: edited in place and saved before every run.
class CliTest : public ::testing::Test {
 protected:
  // The exit status; the whole run in `run`.
  int Run(const std::vector<std::string>& args, const Interrupt& interruptWhen = {}, int signal = SIGINT) {
    EXPECT_TRUE(profile.Save());
    run = kit.Run(args, interruptWhen, signal, launcher);
    return run.exit;
  }
  // A run beside the test's own work.
  std::future<Finished> Start(const std::vector<std::string>& args, const Interrupt& interruptWhen = {},
                              int signal = SIGINT) {
    EXPECT_TRUE(profile.Save());
    return std::async(std::launch::async, [this, args, interruptWhen, signal, launcher = launcher] {
      return kit.Run(args, interruptWhen, signal, launcher);
    });
  }
  void SelectFont(int position, std::size_t headerBytes, std::size_t dataBytes) {
    test::SelectFont(profile, kit.program, position, headerBytes, dataBytes);
  }
  static std::string Line(int id) { return std::string(LoadStr(id)) + "\n"; }

  CliKit kit;
  TempDir& dir = kit.dir;
  const std::string& program = kit.program;
  Profile profile{kit.profile};
  std::vector<std::string> launcher;  // in front of every run started from now on
  Finished run;
};

// A condition for Run that holds once `ms` milliseconds have passed since it was made.
Interrupt After(int ms);

// The lines of `text`, without their line ends.
std::vector<std::string> Lines(const std::string& text);
// The first control byte of `text` that would act on a terminal (the newline and the tab are
// the outputs' format); "" when there is none.
std::string RawControl(const std::string& text);
// The commands `corvelle-cli --help` lists.
std::vector<std::string> Commands(const CliKit& kit);

// The run's stdout as one JSON object (a test failure when it is not exactly one).
QJsonObject Document(const Finished& run);

}  // namespace corvelle::test
