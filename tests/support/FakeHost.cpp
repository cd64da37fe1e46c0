// SPDX-License-Identifier: MIT
// Fake host for tests.
#include "support/FakeHost.h"

#include <algorithm>
#include <chrono>
#include <numeric>
#include <thread>

namespace corvelle::test {
namespace {

class FakeProgressView : public ProgressView {
 public:
  explicit FakeProgressView(ProgressRecord& record) : m_record(record) { m_record.created = true; }
  ~FakeProgressView() override { m_record.destroyed = true; }
  void SetMessage(const std::string& text) override { m_record.messages.push_back(text); }
  void SetRange(int low, int high) override { m_record.ranges.emplace_back(low, high); }
  void SetPosition(int position) override { m_record.positions.push_back(position); }
  void SetStatus(const std::string& text) override { m_record.statuses.push_back(text); }
  void ShowPause(int secondsLeft, bool stoppable) override { m_record.pauses.emplace_back(secondsLeft, stoppable); }
  void EndPause() override { ++m_record.pauseEnds; }
  bool CancelRequested() const override { return m_record.cancel; }
  void ClearCancel() override { m_record.cancel = false; }

 private:
  ProgressRecord& m_record;
};

}  // namespace

void FakeHost::WaitFor(std::int64_t ms, WaitMode mode) {
  if (realSleepMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(std::clamp<std::int64_t>(ms, 0, realSleepMs)));
  ms = std::min(ms, wakeAfterMs);
  waits.push_back({ms, mode, now});
  now += std::max<std::int64_t>(ms, 0);
  Tick();
}

MessageAnswer FakeHost::ShowMessage(const std::string& text, MessageStyle style) {
  messages.push_back({text, style, now});
  if (style != MessageStyle::Question || answers.empty()) return MessageAnswer::Ok;
  const MessageAnswer answer = answers.front();
  answers.pop_front();
  return answer;
}

std::optional<std::string> FakeHost::AskSavePath(const SaveDialogRequest& request) {
  saveRequests.push_back(request);
  if (savePaths.empty()) return std::nullopt;
  auto answer = std::move(savePaths.front());
  savePaths.pop_front();
  return answer;
}

std::unique_ptr<ProgressView> FakeHost::CreateProgressView() {
  if (failProgressView) return nullptr;
  progress = ProgressRecord{};
  return std::make_unique<FakeProgressView>(progress);
}

std::string FakeHost::Messages() const {
  std::string joined;
  for (const RecordedMessage& message : messages) joined += (joined.empty() ? "" : " | ") + message.text;
  return joined;
}

std::int64_t FakeHost::WaitedMs(WaitMode mode) const {
  const auto add = [mode](std::int64_t total, const RecordedWait& w) { return total + (w.mode == mode ? w.ms : 0); };
  return std::accumulate(waits.begin(), waits.end(), std::int64_t{0}, add);
}

// Counts a tick and runs the actions due by the clock, then those due at this tick; an action
// may schedule others.
void FakeHost::Tick() {
  ++ticks;
  while (!m_timed.empty() && m_timed.begin()->first <= now) m_timed.extract(m_timed.begin()).mapped()();
  while (m_ticked.count(ticks) > 0) m_ticked.extract(m_ticked.lower_bound(ticks)).mapped()();
}

}  // namespace corvelle::test
