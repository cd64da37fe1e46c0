// SPDX-License-Identifier: MIT
// Starting corvelle-cli for the command-line tests.
#include "CliKit.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <QJsonDocument>
#include <chrono>
#include <cstdlib>

#include "base/Paths.h"
#include "base/Profile.h"

namespace corvelle::test {
namespace {

// Forks and runs `argv` with the extra environment and the given descriptors as stdout and
// stderr (-1: /dev/null).
pid_t Start(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int out, int err) {
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int null = ::open("/dev/null", O_RDWR);
  ::dup2(null, STDIN_FILENO);
  ::dup2(out >= 0 ? out : null, STDOUT_FILENO);
  ::dup2(err >= 0 ? err : null, STDERR_FILENO);
  for (const std::string& variable : environment) ::putenv(const_cast<char*>(variable.c_str()));
  std::vector<char*> args;
  for (const std::string& arg : argv) args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  ::execv(args[0], args.data());
  ::_exit(127);
}

int Wait(pid_t pid) {
  int status = 0;
  while (::waitpid(pid, &status, 0) < 0) {
    if (errno != EINTR) return -1;
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Reads `a` and `b` (either may be -1) to their ends at the same time, so neither pipe fills;
// `read` is told after each piece.
void ReadBoth(int a, std::string& intoA, int b, std::string& intoB, const std::function<void()>& read = {}) {
  pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
  std::string* into[2] = {&intoA, &intoB};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    if (::poll(fds, 2, 60'000) <= 0) return;
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) into[i]->append(chunk, static_cast<std::size_t>(n));
      else fds[i].fd = -1;
      if (read) read();
    }
  }
}

}  // namespace

QJsonObject Document(const Finished& run) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << run.out;
  EXPECT_TRUE(document.isObject()) << run.out;
  return document.object();
}

std::string ReadAll(int fd) {
  std::string text, none;
  ReadBoth(fd, text, -1, none);
  return text;
}

CliKit::CliKit() {
  MakeFolders(JoinPath(program, "FontExt"));
  MakeFolders(ParentFolder(profile));
  // The history of this kit only; each test has its own.
  environment.push_back("XDG_STATE_HOME=" + dir.File("state"));
}

void CliKit::SelectFont(std::size_t dataBytes) {
  Profile stored(profile);
  test::SelectFont(stored, program, 1, 100, dataBytes);
  stored.Save();
}

std::string CliKit::Cli() const { return CORVELLE_BIN_DIR "/corvelle-cli"; }

std::vector<std::string> CliKit::Command(const std::vector<std::string>& args) const {
  std::vector<std::string> argv{Cli(), "--program-folder", program, "--profile", profile};
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

Finished CliKit::Run(const std::vector<std::string>& args, const std::function<bool(const std::string&)>& interruptWhen) {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
  const pid_t pid = Start(Command(args), environment, out[1], err[1]);
  ::close(out[1]);
  ::close(err[1]);
  Finished done;
  bool interrupted = false;
  ReadBoth(out[0], done.out, err[0], done.err, [&] {
    if (!interrupted && interruptWhen && interruptWhen(done.err)) interrupted = ::kill(pid, SIGINT) == 0;
  });
  ::close(out[0]);
  ::close(err[0]);
  done.exit = Wait(pid);
  return done;
}

Finished CliKit::RunWithStdout(const std::vector<std::string>& args, int outFd) {
  int err[2];
  if (::pipe2(err, O_CLOEXEC) != 0) return {};
  const pid_t pid = Start(Command(args), environment, outFd, err[1]);
  ::close(err[1]);
  Finished done;
  done.err = ReadAll(err[0]);
  ::close(err[0]);
  done.exit = Wait(pid);
  return done;
}

Finished CliKit::RunOnTerminal(const std::vector<std::string>& args, unsigned short columns, const std::string& term,
                               const std::function<bool(const std::string& seen, int master)>& watch,
                               bool stdoutToo) {
  int master = -1, slave = -1;
  winsize size{24, columns, 0, 0};
  if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) return {};
  ::fcntl(master, F_SETFD, FD_CLOEXEC);
  ::fcntl(slave, F_SETFD, FD_CLOEXEC);
  std::vector<std::string> env = environment;
  env.push_back("TERM=" + term);
  const pid_t pid = Start(Command(args), env, stdoutToo ? slave : -1, slave);
  ::close(slave);
  Finished done;
  bool interrupted = false;
  const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  for (;;) {
    pollfd ready{master, POLLIN, 0};
    if (::poll(&ready, 1, 50) > 0) {
      char chunk[4096];
      const ssize_t n = ::read(master, chunk, sizeof chunk);
      if (n <= 0) break;  // EIO: the program and its terminal are gone
      done.err.append(chunk, static_cast<std::size_t>(n));
    }
    if (!interrupted && watch && watch(done.err, master)) interrupted = ::kill(pid, SIGINT) == 0;
    if (std::chrono::steady_clock::now() > end) ::kill(pid, SIGKILL);
  }
  ::close(master);
  done.exit = Wait(pid);
  return done;
}

}  // namespace corvelle::test
