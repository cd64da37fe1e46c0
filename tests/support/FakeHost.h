// SPDX-License-Identifier: MIT
// A Host for tests: a fake clock that jumps forward when waited on (with a little real time too,
// for real transports), a recorder of messages, scripted answers for questions and save dialogs,
// and a recording progress view.
#pragma once

#include <algorithm>
#include <deque>
#include <functional>
#include <limits>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "base/Host.h"

namespace corvelle::test {

struct RecordedMessage { std::string text; MessageStyle style; std::int64_t at; };
// `at`: the fake time when the wait began.
struct RecordedWait { std::int64_t ms; WaitMode mode; std::int64_t at; };

// Everything the progress view was told, kept after the view is destroyed.
struct ProgressRecord {
  bool created = false, destroyed = false, cancel = false;
  std::vector<std::string> messages, statuses;
  std::vector<std::pair<int, int>> ranges;
  std::vector<int> positions;
  std::vector<std::pair<int, bool>> pauses;  // seconds left, stoppable, as each second began
  int pauseEnds = 0;
};

class FakeHost : public Host {
 public:
  std::int64_t Now() override { return now; }
  void WaitFor(std::int64_t ms, WaitMode mode = WaitMode::Responsive) override;
  bool WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) override;
  void PumpMessages() override { ++pumps; Tick(); }
  MessageAnswer ShowMessage(const std::string& text, MessageStyle style) override;
  std::optional<std::string> AskSavePath(const SaveDialogRequest& request) override;
  void SetBusy(bool busy) override { busyChanges.push_back(busy); }
  std::unique_ptr<ProgressView> CreateProgressView() override;
  const StopSignal* Stop() const override { return stop; }

  // Runs `action` once, the first time the fake clock reaches `when` (checked after every wait
  // and pump). Actions run in the order they fall due.
  void At(std::int64_t when, std::function<void()> action) { m_timed.emplace(when, std::move(action)); }
  // Runs `action` at the n-th tick (1-based): a call of WaitFor, WaitForFd or PumpMessages.
  void OnTick(int n, std::function<void()> action) { m_ticked.emplace(n, std::move(action)); }
  // The STOP button: raises the cancel flag of the live progress view.
  void PressStop() { progress.cancel |= progress.created && !progress.destroyed; }

  std::int64_t now = 0;
  std::vector<RecordedMessage> messages;
  std::vector<RecordedWait> waits;
  std::vector<SaveDialogRequest> saveRequests;
  std::vector<bool> busyChanges;
  std::deque<MessageAnswer> answers;                 // for Question boxes; Ok when empty
  std::deque<std::optional<std::string>> savePaths;  // nullopt = cancel; cancel when empty
  bool failProgressView = false;
  // Each wait also sleeps up to this many real milliseconds, so a real transport and its far end
  // get the time they need (a socket's linger, a reader draining the line before the next open).
  std::int64_t realSleepMs = 0;
  // A wait comes back after this much fake time at most, as a repaint or a socket notification
  // wakes it: pauses must still last their whole seconds, and STOP in one ends it at the next wake.
  std::int64_t wakeAfterMs = std::numeric_limits<std::int64_t>::max();
  const StopSignal* stop = nullptr;  // the surroundings' STOP (Ctrl-C), when the test raises one
  ProgressRecord progress;
  int pumps = 0, ticks = 0, fdWaits = 0;  // ticks: calls of WaitFor, WaitForFd and PumpMessages

  // The texts of the messages shown, joined with " | ".
  std::string Messages() const;
  // Total fake milliseconds spent in WaitFor with the given mode.
  std::int64_t WaitedMs(WaitMode mode) const;

 private:
  void Tick();
  std::multimap<std::int64_t, std::function<void()>> m_timed;  // equal times keep their order
  std::multimap<int, std::function<void()>> m_ticked;
};

// Says `outcome` to `host`, as the port's callers do, and passes it on.
inline Outcome Said(Host& host, Outcome outcome) {
  host.Show(outcome);
  return outcome;
}

}  // namespace corvelle::test
