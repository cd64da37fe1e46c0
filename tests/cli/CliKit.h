// SPDX-License-Identifier: MIT
// Runs the built corvelle-cli as a user does: with a program folder, a profile and a history of
// the test's own, its output on a pipe, a file or a pseudo-terminal of a chosen size.
#pragma once

#include <sys/types.h>

#include <QJsonObject>
#include <functional>
#include <string>
#include <vector>

#include "support/TempDir.h"

namespace corvelle::test {

struct Finished {
  int exit = -1;     // -1 when it did not exit normally
  std::string out;   // standard output
  std::string err;   // standard error (or the terminal's output)
};

class CliKit {
 public:
  CliKit();

  // The selection of one font whose fragments make an image of about `dataBytes`.
  void SelectFont(std::size_t dataBytes);
  // corvelle-cli with the kit's folders, then `args`; stdout and stderr captured through pipes.
  // Ctrl-C (SIGINT) is sent once `interruptWhen`, given stderr so far, answers true.
  Finished Run(const std::vector<std::string>& args,
               const std::function<bool(const std::string& err)>& interruptWhen = {});
  // The same with stdout on `outFd` (left open for the caller) and stderr captured.
  Finished RunWithStdout(const std::vector<std::string>& args, int outFd);
  // corvelle-cli with stderr on a new pseudo-terminal `columns` wide and TERM=`term`; `watch`
  // sees the terminal's output as it grows, and may resize the terminal (its fd given) or
  // answer true to send Ctrl-C (SIGINT). The terminal's output is `err`; with `stdoutToo` stdout
  // is on the terminal as well.
  Finished RunOnTerminal(const std::vector<std::string>& args, unsigned short columns, const std::string& term,
                         const std::function<bool(const std::string& seen, int master)>& watch,
                         bool stdoutToo = false);

  std::string Cli() const;
  std::string HistoryPath() const { return dir.File("state/corvelle/downloads.jsonl"); }

  TempDir dir;
  std::string program = dir.File("program");
  std::string profile = dir.File("config/corvelle.ini");
  std::vector<std::string> environment;  // NAME=VALUE put in the program's environment

 private:
  std::vector<std::string> Command(const std::vector<std::string>& args) const;
};

// The run's stdout as one JSON object (a test failure when it is not exactly one).
QJsonObject Document(const Finished& run);

// The whole output of `fd` until its writers are gone.
std::string ReadAll(int fd);

}  // namespace corvelle::test
