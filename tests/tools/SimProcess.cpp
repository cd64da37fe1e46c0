// Starting, reading and stopping the built simulator in tests.
#include "tools/SimProcess.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <chrono>
#include <cstdlib>

extern char** environ;

namespace corvelle::test {
namespace {

using Clock = std::chrono::steady_clock;

int MillisLeft(Clock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
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
  const int status = posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  ::close(pipeFds[1]);
  m_out = pipeFds[0];
  if (status != 0) {
    m_pid = -1;
    return;
  }
  // Address lines first, then the log, whose first event ends the start-up.
  while (const auto line = ReadLine(10000)) {
    if (line->rfind("tcp ", 0) == 0) {
      m_port = std::atoi(line->substr(line->rfind(':') + 1).c_str());
    } else if (line->rfind("pty ", 0) == 0) {
      m_ptyPath = line->substr(4);
    } else {
      m_started = !m_events.empty();
      break;
    }
  }
}

SimProcess::~SimProcess() {
  if (m_pid > 0) Stop();
  if (m_out >= 0) ::close(m_out);
}

std::optional<std::string> SimProcess::ReadLine(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (const auto end = m_buffer.find('\n'); end != std::string::npos) {
      std::string line = m_buffer.substr(0, end);
      m_buffer.erase(0, end + 1);
      if (!line.empty() && line[0] == '{') {
        m_events.push_back(QJsonDocument::fromJson(QByteArray::fromStdString(line)).object());
      }
      return line;
    }
    pollfd fd{m_out, POLLIN, 0};
    if (m_out < 0 || ::poll(&fd, 1, MillisLeft(deadline)) <= 0) return std::nullopt;
    char chunk[4096];
    const ssize_t n = ::read(m_out, chunk, sizeof chunk);
    if (n <= 0) return std::nullopt;
    m_buffer.append(chunk, static_cast<std::size_t>(n));
  }
}

std::optional<QJsonObject> SimProcess::Next(std::string_view name, int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  const QString wanted = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
  for (;;) {
    while (m_consumed < m_events.size()) {
      const QJsonObject& event = m_events[m_consumed++];
      if (event.value("event").toString() == wanted) return event;
    }
    if (!ReadLine(MillisLeft(deadline))) return std::nullopt;
  }
}

int SimProcess::Stop() {
  if (m_pid > 0) ::kill(m_pid, SIGTERM);
  return WaitForExit();
}

int SimProcess::WaitForExit(int timeoutMs) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  while (ReadLine(MillisLeft(deadline))) {
  }
  return Reap(MillisLeft(deadline));
}

int SimProcess::Reap(int timeoutMs) {
  if (m_pid <= 0) return -1;
  // The log's end means the process has closed stdout, normally by exiting; a process that
  // has not ended within the wait is killed.
  if (timeoutMs == 0) ::kill(m_pid, SIGKILL);
  int status = 0;
  const pid_t pid = m_pid;
  m_pid = -1;
  if (::waitpid(pid, &status, 0) != pid) return -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string EventText(const std::optional<QJsonObject>& event, const char* key) {
  return event ? event->value(key).toString().toStdString() : "<no event>";
}

long long EventNumber(const std::optional<QJsonObject>& event, const char* key) {
  return event ? event->value(key).toInteger(-1) : -1;
}

bool EventFlag(const std::optional<QJsonObject>& event, const char* key) { return event && event->value(key).toBool(); }

int ConnectLoopback(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

bool SendAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

bool SendOnOwnConnection(int port, std::string_view bytes) {
  const int fd = ConnectLoopback(port);
  if (fd < 0) return false;
  const bool sent = SendAll(fd, bytes);
  ::close(fd);
  return sent;
}

}  // namespace corvelle::test
