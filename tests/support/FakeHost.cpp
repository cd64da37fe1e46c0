// Fake host for tests.
#include "support/FakeHost.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

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
  bool CancelRequested() const override { return m_record.cancel; }
  void ClearCancel() override {
    m_record.cancel = false;
    ++m_record.cancelClears;
  }

 private:
  ProgressRecord& m_record;
};

}  // namespace

void FakeHost::WaitFor(std::int64_t ms, WaitMode mode) {
  waits.push_back({ms, mode, now});
  ++ticks;
  now += std::max<std::int64_t>(ms, 0);
  RunDue();
}

bool FakeHost::WaitForFd(int fd, FdEvent event, std::int64_t timeoutMs) {
  ++fdWaits;
  pollfd p{fd, static_cast<short>(event == FdEvent::Readable ? POLLIN : POLLOUT), 0};
  const auto start = std::chrono::steady_clock::now();
  const int timeout = static_cast<int>(std::clamp<std::int64_t>(timeoutMs, 0, 10'000));
  int r;
  do {
    r = ::poll(&p, 1, timeout);
  } while (r < 0 && errno == EINTR);
  const auto real = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  now += r > 0 ? real.count() : std::max<std::int64_t>(timeoutMs, 0);
  ++ticks;
  RunDue();
  return r > 0;
}

void FakeHost::PumpMessages() {
  ++pumps;
  ++ticks;
  RunDue();
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
  auto answer = savePaths.front();
  savePaths.pop_front();
  return answer;
}

void FakeHost::SetBusy(bool busy) { busyChanges.push_back(busy); }

std::unique_ptr<ProgressView> FakeHost::CreateProgressView() {
  if (failProgressView) return nullptr;
  progress = ProgressRecord{};
  return std::make_unique<FakeProgressView>(progress);
}

void FakeHost::At(std::int64_t when, std::function<void()> action) {
  m_timed.emplace_back(when, std::move(action));
  std::stable_sort(m_timed.begin(), m_timed.end(), [](const auto& a, const auto& b) { return a.first < b.first; });
}

void FakeHost::OnTick(int n, std::function<void()> action) { m_ticked.emplace_back(n, std::move(action)); }

void FakeHost::PressStop() {
  if (progress.created && !progress.destroyed) progress.cancel = true;
}

std::int64_t FakeHost::WaitedMs(WaitMode mode) const {
  std::int64_t total = 0;
  for (const auto& w : waits) {
    if (w.mode == mode) total += w.ms;
  }
  return total;
}

void FakeHost::RunDue() {
  while (!m_timed.empty() && m_timed.front().first <= now) {
    auto action = std::move(m_timed.front().second);
    m_timed.erase(m_timed.begin());
    action();
  }
  for (auto it = m_ticked.begin(); it != m_ticked.end();) {
    if (it->first == ticks) {
      auto action = std::move(it->second);
      it = m_ticked.erase(it);
      action();
    } else {
      ++it;
    }
  }
}

}  // namespace corvelle::test
