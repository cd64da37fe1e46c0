// SPDX-License-Identifier: MIT
// One printer's surroundings in a download to several printers.
#include "cli/FleetHost.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace corvelle::cli {
namespace {

// The progress window of one printer: its pauses go to the status object; the bar and the
// texts are the status line's business, not this printer's.
class FleetProgressView : public ProgressView {
 public:
  FleetProgressView(FleetStatus& status, std::size_t printer, const StopSignal& stop)
      : m_status(status), m_printer(printer), m_stop(stop) {}
  void SetMessage(const std::string&) override {}
  void SetRange(int, int) override {}
  void SetPosition(int) override {}
  void SetStatus(const std::string&) override {}
  void ShowPause(int secondsLeft, bool) override { m_status.Pause(m_printer, secondsLeft); }
  void EndPause() override { m_status.EndPause(m_printer); }
  bool CancelRequested() const override { return m_stop.Raised(); }
  void ClearCancel() override {}

 private:
  FleetStatus& m_status;
  const std::size_t m_printer;
  const StopSignal& m_stop;
};

}  // namespace

std::int64_t FleetHost::Now() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool FleetHost::Sleep(int fd, FdEvent event, std::int64_t ms, bool stoppable) {
  const std::int64_t end = Now() + std::max<std::int64_t>(ms, 0);
  for (;;) {
    if (stoppable && m_stop.Raised()) return false;
    pollfd fds[2];
    nfds_t count = 0;
    if (fd >= 0) fds[count++] = {fd, static_cast<short>(event == FdEvent::Readable ? POLLIN : POLLOUT), 0};
    // The stop descriptor stays readable once raised, so a wait STOP may not end leaves it out.
    if (stoppable && m_stop.Fd() >= 0) fds[count++] = {m_stop.Fd(), POLLIN, 0};
    const std::int64_t left = end - Now();
    if (left <= 0 && fd < 0) return false;
    const int r = ::poll(fds, count, static_cast<int>(std::clamp<std::int64_t>(left, 0, 60'000)));
    if (r < 0 && errno != EINTR) return false;
    if (r > 0 && fd >= 0 && fds[0].revents != 0) return true;
    if (left <= 0) return false;
  }
}

void FleetHost::WaitFor(std::int64_t ms, WaitMode mode) { Sleep(-1, FdEvent::Readable, ms, mode == WaitMode::Responsive); }

bool FleetHost::WaitForFd(int fd, FdEvent event, std::int64_t timeoutMs) { return Sleep(fd, event, timeoutMs, true); }

MessageAnswer FleetHost::ShowMessage(const std::string& text, MessageStyle style) {
  m_status.Message(m_printer, text);
  m_lastMessage = text;
  std::replace(m_lastMessage.begin(), m_lastMessage.end(), '\n', ' ');
  std::replace(m_lastMessage.begin(), m_lastMessage.end(), '\t', ' ');
  return style == MessageStyle::Question ? MessageAnswer::Cancel : MessageAnswer::Ok;
}

std::unique_ptr<ProgressView> FleetHost::CreateProgressView() {
  return std::make_unique<FleetProgressView>(m_status, m_printer, m_stop);
}

}  // namespace corvelle::cli
