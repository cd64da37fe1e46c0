// SPDX-License-Identifier: MIT
// Child processes for tests: a piece of a test run without root's rights, so that permission
// failures happen for real also when the suite runs as root (as CI does), or under limits that
// must not touch the test process; and programs run with their output captured.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace corvelle::test {

class TempDir;

// Forks, runs `body` in the child and returns its exit code (-1 when it did not exit normally).
int RunInChild(const std::function<int()>& body);

// Runs body(0) to body(count - 1) at once, each in a child of its own; how many did not exit with 0.
int RunInChildren(int count, const std::function<int(int)>& body);

// RunInChild, with the child dropped to user and group 65534 ("nobody") when it is root; it
// exits with 125 when it cannot drop them.
int RunUnprivileged(const std::function<int()>& body);

// `exit` is -1 when the program did not exit normally.
struct ProgramRun { int exit = -1; std::string out, err; };

// Runs the program args[0] with the other arguments and waits for it; standard output and error
// are captured through files in `dir`.
ProgramRun RunProgram(const TempDir& dir, const std::vector<std::string>& args);

}  // namespace corvelle::test
