// SPDX-License-Identifier: MIT
// Starting corvelle-cli for the command-line and end-to-end download tests.
#include "CliKit.h"

#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <chrono>
#include <optional>
#include <sstream>

#include "base/Paths.h"

namespace corvelle::test {
namespace {

using Clock = std::chrono::steady_clock;

// Starts `argv` with the extra environment and the descriptors `out` and `err` as stdout and
// stderr (-1: /dev/null) and closes `theirs` (the descriptors it was given), reads `outFrom` and
// `errFrom` (either may be -1) into the run's out and err to their ends at the same time, so
// neither pipe fills, and waits for it with its CPU time. `signal` is sent once `interruptWhen` (asked after
// each piece and every 5 ms) answers true; a program still running 5 s after it is killed.
Finished Launch(const std::vector<std::string>& argv, const std::vector<std::string>& environment, int out, int err,
                std::initializer_list<int> theirs, int outFrom, int errFrom, const Interrupt& interruptWhen,
                int signal) {
  Finished done;
  done.pid = ::fork();
  if (done.pid == 0) {
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
  for (const int fd : theirs) ::close(fd);
  std::optional<Clock::time_point> sent;
  pollfd fds[2] = {{outFrom, POLLIN, 0}, {errFrom, POLLIN, 0}};
  std::string* into[2] = {&done.out, &done.err};
  while (fds[0].fd >= 0 || fds[1].fd >= 0) {
    const int ready = ::poll(fds, 2, 5);
    if (ready < 0 && errno != EINTR) break;
    if (!sent && interruptWhen && interruptWhen(done)) {
      sent = Clock::now();
      ::kill(done.pid, signal);
    } else if (sent && Clock::now() - *sent > std::chrono::seconds(5)) {
      ::kill(done.pid, SIGKILL);
    }
    for (int i = 0; ready > 0 && i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char chunk[4096];
      const ssize_t n = ::read(fds[i].fd, chunk, sizeof chunk);
      if (n > 0) into[i]->append(chunk, static_cast<std::size_t>(n));
      else fds[i].fd = -1;
    }
  }
  for (const int fd : {outFrom, errFrom}) ::close(fd);  // -1 is none: EBADF, nothing closed
  int status = 0;
  rusage usage{};
  while (::wait4(done.pid, &status, 0, &usage) < 0)
    if (errno != EINTR) return done;
  const auto seconds = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
  done.cpuSeconds = seconds(usage.ru_utime) + seconds(usage.ru_stime);
  done.exit = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  if (sent) done.secondsAfterSignal = std::chrono::duration<double>(Clock::now() - *sent).count();
  return done;
}

}  // namespace

Interrupt After(int ms) {
  return [at = Clock::now() + std::chrono::milliseconds(ms)](const Finished&) { return Clock::now() >= at; };
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string RawControl(const std::string& text) {
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && c != '\n' && c != '\t') || byte == 0x7f) return "byte " + std::to_string(byte);
  }
  return "";
}

std::vector<std::string> Commands(const CliKit& kit) {
  std::vector<std::string> commands;
  bool listing = false;
  for (const std::string& line : Lines(kit.Run({"--help"}).out)) {
    if (line == "Commands:") listing = true;
    else if (listing && line.size() > 2) commands.push_back(line.substr(2, line.find(' ', 2) - 2));
  }
  return commands;
}

QJsonObject Document(const Finished& run) {
  QJsonParseError error{};
  const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(run.out), &error);
  EXPECT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString() << "\n" << run.out;
  EXPECT_TRUE(document.isObject()) << run.out;
  return document.object();
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

std::vector<std::string> CliKit::Command(const std::vector<std::string>& args,
                                         const std::vector<std::string>& launcher) const {
  std::vector<std::string> argv = launcher;
  argv.insert(argv.end(), {CORVELLE_BIN_DIR "/corvelle-cli", "--program-folder", program, "--profile", profile});
  argv.insert(argv.end(), args.begin(), args.end());
  return argv;
}

Finished CliKit::Run(const std::vector<std::string>& args, const Interrupt& interruptWhen, int signal,
                     const std::vector<std::string>& launcher) const {
  int out[2], err[2];
  if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) return {};
  return Launch(Command(args, launcher), environment, out[1], err[1], {out[1], err[1]}, out[0], err[0], interruptWhen,
                signal);
}

Finished CliKit::RunWithStdout(const std::vector<std::string>& args, int outFd) const {
  int err[2];
  if (::pipe2(err, O_CLOEXEC) != 0) return {};
  return Launch(Command(args), environment, outFd, err[1], {err[1]}, -1, err[0], {}, SIGINT);
}

Finished CliKit::RunOnTerminal(const std::vector<std::string>& args, unsigned short columns, const std::string& term,
                               const std::function<bool(const std::string& seen, int master)>& watch,
                               bool stdoutToo) const {
  int master = -1, slave = -1;
  winsize size{24, columns, 0, 0};
  if (::openpty(&master, &slave, nullptr, nullptr, &size) != 0) return {};
  for (const int fd : {master, slave}) ::fcntl(fd, F_SETFD, FD_CLOEXEC);
  std::vector<std::string> env = environment;
  env.push_back("TERM=" + term);
  // The terminal's output is read as stderr; its read fails (EIO) once the program is gone.
  return Launch(Command(args), env, stdoutToo ? slave : -1, slave, {slave}, -1, master,
                [&](const Finished& sofar) { return watch && watch(sofar.err, master); }, SIGINT);
}

}  // namespace corvelle::test
