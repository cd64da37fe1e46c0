// Starting, reading and stopping the built simulator in tests.
#include "tools/SimProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <utility>

extern char** environ;

namespace corvelle::test {
namespace {

using Clock = std::chrono::steady_clock;

Clock::time_point After(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }

int MillisLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return static_cast<int>(std::max<decltype(left)>(left, 0));
}

}  // namespace

SimProcess::SimProcess(const std::vector<std::string>& options) {
  int pipeFds[2];
  if (::pipe2(pipeFds, O_CLOEXEC) != 0) return;
  std::vector<std::string> args = {CORVELLE_BIN_DIR "/kerv-printer-sim", "--log", "-", "--quiet"};
  args.insert(args.end(), options.begin(), options.end());
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
  if (posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0) m_pid = -1;
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  m_out = pipeFds[0];
  // Address lines first, then the log, whose first event ends the start-up.
  while (const auto line = m_pid > 0 ? ReadLine(10000) : std::nullopt) {
    if (line->starts_with("tcp ")) {
      m_port = std::atoi(line->substr(line->rfind(':') + 1).c_str());
    } else if (line->starts_with("pty ")) {
      m_ptyPath = line->substr(4);
    } else {
      m_started = !m_events.empty();
      break;
    }
  }
}

SimProcess::~SimProcess() {
  Stop();
  if (m_out >= 0) ::close(m_out);
}

std::optional<std::string> SimProcess::ReadLine(int timeoutMs) {
  const auto deadline = After(timeoutMs);
  std::size_t end;
  while ((end = m_buffer.find('\n')) == std::string::npos) {
    pollfd ready{m_out, POLLIN, 0};
    char chunk[4096];
    const ssize_t n = ::poll(&ready, 1, MillisLeft(deadline)) > 0 ? ::read(m_out, chunk, sizeof chunk) : 0;
    if (n <= 0) return std::nullopt;
    m_buffer.append(chunk, static_cast<std::size_t>(n));
  }
  std::string line = m_buffer.substr(0, end);
  m_buffer.erase(0, end + 1);
  if (line.starts_with("{")) m_events.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
  return line;
}

std::optional<QJsonObject> SimProcess::Next(std::string_view name, int timeoutMs) {
  const auto deadline = After(timeoutMs);
  const QString wanted = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  do {
    while (m_consumed < m_events.size()) {
      const QJsonObject& event = m_events[m_consumed++];
      if (event.value("event").toString() == wanted) return event;
    }
  } while (ReadLine(MillisLeft(deadline)));
  return std::nullopt;
}

int SimProcess::Stop() {
  if (m_pid <= 0) return -1;
  ::kill(m_pid, SIGTERM);
  const auto deadline = After(10000);
  while (ReadLine(MillisLeft(deadline))) {
  }
  // The log's end means the process has closed stdout, normally by exiting; a process that has
  // not ended within the wait is killed.
  if (MillisLeft(deadline) == 0) ::kill(m_pid, SIGKILL);
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
