// SPDX-License-Identifier: MIT
// Child processes for tests.
#include "support/Unprivileged.h"

#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <regex>
#include <vector>

#include "support/TempDir.h"

namespace corvelle::test {

namespace {

// The exit code of child `pid`, -1 when it did not exit normally (or was never started).
int ExitOf(pid_t pid) {
  int status = -1;
  while (pid > 0 && ::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return pid > 0 && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

int RunInChild(const std::function<int()>& body) {
  const pid_t pid = ::fork();
  if (pid == 0) ::_exit(body());
  return ExitOf(pid);
}

int RunInChildren(int count, const std::function<int(int)>& body) {
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    children.push_back(::fork());
    if (children.back() == 0) ::_exit(body(i));
  }
  int failed = 0;
  for (const pid_t pid : children) failed += ExitOf(pid) != 0;
  return failed;
}

int RunUnprivileged(const std::function<int()>& body) {
  return RunInChild([&] {
    const gid_t n = 65534;  // nobody
    const bool dropped =
        ::geteuid() != 0 || (::setgroups(0, nullptr) == 0 && ::setresgid(n, n, n) == 0 && ::setresuid(n, n, n) == 0);
    return dropped ? body() : 125;
  });
}

ProgramRun RunProgram(const TempDir& dir, const std::vector<std::string>& args) {
  const std::string out = dir.File("program.out"), err = dir.File("program.err");
  std::string command = "exec";  // the shell becomes the program, so its exit status is the program's
  for (const std::string& arg : args) command += " '" + std::regex_replace(arg, std::regex("'"), "'\\''") + "'";
  const int status = std::system((command + " >'" + out + "' 2>'" + err + "'").c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadFile(out), ReadFile(err)};
}

}  // namespace corvelle::test
