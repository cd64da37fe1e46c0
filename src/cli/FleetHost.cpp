// SPDX-License-Identifier: MIT
// One printer's surroundings in a download to several printers.
#include "cli/FleetHost.h"

#include "cli/PollWait.h"

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

std::int64_t FleetHost::Now() { return SteadyNowMs(); }

bool FleetHost::Sleep(NativeHandle fd, FdEvent event, std::int64_t ms, bool stoppable) {
  return PollUntil(m_stop, fd, event, ms, stoppable);
}

void FleetHost::WaitFor(std::int64_t ms, WaitMode mode) {
  Sleep(kNoHandle, FdEvent::Readable, ms, mode == WaitMode::Responsive);
}

bool FleetHost::WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) {
  return Sleep(fd, event, timeoutMs, true);
}

MessageAnswer FleetHost::ShowMessage(const std::string& text, MessageStyle style) {
  m_status.Message(m_printer, text);
  return style == MessageStyle::Question ? MessageAnswer::Cancel : MessageAnswer::Ok;
}

void FleetHost::ShowDetail(const std::string& text) {
  m_status.Message(m_printer, text);
}

std::unique_ptr<ProgressView> FleetHost::CreateProgressView() {
  return std::make_unique<FleetProgressView>(m_status, m_printer, m_stop);
}

}  // namespace corvelle::cli
