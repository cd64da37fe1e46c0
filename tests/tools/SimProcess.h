// SPDX-License-Identifier: MIT
// Runs the built kerv-printer-sim for a test: starts it with "--log - --quiet" and the given
// options, reads the TCP port and pseudo-terminal path it prints, and hands out its JSON log
// events as they come. Every wait is bounded; the process is ended with SIGTERM when the object
// goes.
#pragma once

#include <sys/types.h>

#include <QJsonObject>
#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvelle::test {

class SimProcess {
 public:
  // `launcher` (e.g. prlimit and its options) runs the simulator when given.
  explicit SimProcess(const std::vector<std::string>& options, const std::vector<std::string>& launcher = {});
  ~SimProcess();
  SimProcess(const SimProcess&) = delete;
  SimProcess& operator=(const SimProcess&) = delete;

  // Whether it started and printed its address lines.
  bool Started() const { return m_started; }
  int Port() const { return m_port; }                       // 0 without TCP
  const std::vector<int>& Ports() const { return m_ports; } // every printer's, with --printers
  const std::string& PtyPath() const { return m_ptyPath; }  // empty without --pty
  pid_t Pid() const { return m_pid; }

  // The next event called `name`, skipping others; nullopt when none comes within the wait
  // or the log ends first.
  std::optional<QJsonObject> Next(std::string_view name, int timeoutMs = 10000);
  // Every event read so far, in order.
  const std::vector<QJsonObject>& Events() const { return m_events; }

  // Sends SIGTERM, reads the log to its end and returns the exit status (-1: killed).
  int Stop();

 private:
  using Clock = std::chrono::steady_clock;
  static Clock::time_point After(int ms) { return Clock::now() + std::chrono::milliseconds(ms); }
  bool ReadLine(Clock::time_point deadline, std::string& line);

  pid_t m_pid = -1;
  int m_out = -1;
  std::string m_buffer;
  bool m_started = false;
  int m_port = 0;
  std::vector<int> m_ports;
  std::string m_ptyPath;
  std::size_t m_consumed = 0;  // events already handed out by Next
  std::vector<QJsonObject> m_events;
};

// Fields of an event that may not have come: "<no event>", -1 and false then.
std::string EventText(const std::optional<QJsonObject>& event, const char* key);
long long EventNumber(const std::optional<QJsonObject>& event, const char* key);
bool EventFlag(const std::optional<QJsonObject>& event, const char* key);

}  // namespace corvelle::test
