// SPDX-License-Identifier: MIT
// Starting, reading and stopping the built simulator (and other built programs) in tests.
#include "tools/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <algorithm>
#include <cstdlib>
#include <utility>

extern char** environ;

namespace corvelle::test {

SimProcess::SimProcess(const std::vector<std::string>& options, const std::vector<std::string>& launcher) {
  std::vector<std::string> args = launcher;
  args.insert(args.end(), {CORVELLE_BIN_DIR "/kerv-printer-sim", "--log", "-", "--quiet"});
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  int fds[2];
  if (::pipe2(fds, O_CLOEXEC) != 0) return;
  // The simulator's standard output is the pipe's write end; its error output is the test's.
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);
  if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(fds[1]);
  m_out = fds[0];
  // Address lines first, then the log, whose first event ends the start-up.
  for (std::string line; m_pid > 0 && ReadLine(After(10000), line) && !(m_started = !m_events.empty());) {
    if (line.starts_with("tcp ")) m_ports.push_back(std::atoi(line.substr(line.rfind(':') + 1).c_str()));
    if (m_port == 0 && !m_ports.empty()) m_port = m_ports.front();
    if (line.starts_with("pty ")) m_ptyPath = line.substr(4);
  }
}

SimProcess::~SimProcess() {
  Stop();
  if (m_out >= 0) ::close(m_out);
}

bool SimProcess::ReadLine(Clock::time_point deadline, std::string& line) {
  std::size_t end;
  while ((end = m_buffer.find('\n')) == std::string::npos) {
    const int left = static_cast<int>((deadline - Clock::now()) / std::chrono::milliseconds(1));
    pollfd ready{m_out, POLLIN, 0};
    char chunk[4096];
    const ssize_t n = ::poll(&ready, 1, std::max(left, 0)) > 0 ? ::read(m_out, chunk, sizeof chunk) : 0;
    if (n <= 0) return false;
    m_buffer.append(chunk, static_cast<std::size_t>(n));
  }
  line = m_buffer.substr(0, end);
  m_buffer.erase(0, end + 1);
  if (line.starts_with("{")) m_events.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
  return true;
}

std::optional<QJsonObject> SimProcess::Next(std::string_view name, int timeoutMs) {
  const Clock::time_point deadline = After(timeoutMs);
  std::string line;
  do {
    while (m_consumed < m_events.size()) {
      const QJsonObject& event = m_events[m_consumed++];
      if (event.value("event").toString().toStdString() == name) return event;
    }
  } while (ReadLine(deadline, line));
  return std::nullopt;
}

int SimProcess::Stop() {
  if (m_pid <= 0) return -1;
  ::kill(m_pid, SIGTERM);
  const Clock::time_point deadline = After(10000);
  for (std::string line; ReadLine(deadline, line);) {
  }
  // The log's end means the process has closed stdout, normally by exiting; a process that has
  // not ended within the wait is killed.
  if (Clock::now() >= deadline) ::kill(m_pid, SIGKILL);
  int status = 0;
  const pid_t pid = std::exchange(m_pid, -1);
  return ::waitpid(pid, &status, 0) == pid && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string EventText(const std::optional<QJsonObject>& event, const char* key) {
  return event ? event->value(key).toString().toStdString() : "<no event>";
}

long long EventNumber(const std::optional<QJsonObject>& event, const char* key) {
  return event ? event->value(key).toInteger(-1) : -1;
}

bool EventFlag(const std::optional<QJsonObject>& event, const char* key) { return event && event->value(key).toBool(); }

}  // namespace corvelle::test
