// SPDX-License-Identifier: MIT
// The Host of one printer in a download to several: real time, waits that end on the run's one
// STOP, and messages and progress told to the run's status object instead of the terminal.
#pragma once

#include <string>

#include "base/Host.h"
#include "cli/FleetStatus.h"

namespace corvelle::cli {

class FleetHost : public Host {
 public:
  FleetHost(FleetStatus& status, std::size_t printer, const StopSignal& stop)
      : m_status(status), m_printer(printer), m_stop(stop) {}

  std::int64_t Now() override;
  void WaitFor(std::int64_t ms, WaitMode mode = WaitMode::Responsive) override;
  bool WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) override;
  void PumpMessages() override {}
  // Told to the status object; a question is answered Cancel (no one can be asked).
  MessageAnswer ShowMessage(const std::string& text, MessageStyle style) override;
  // There is no FILE port here: nothing to save.
  std::optional<std::string> AskSavePath(const SaveDialogRequest&) override { return std::nullopt; }
  void SetBusy(bool) override {}
  std::unique_ptr<ProgressView> CreateProgressView() override;
  const StopSignal* Stop() const override { return &m_stop; }
  void ShowDetail(const std::string& text) override;

 private:
  // Sleeps until `fd` (kNoHandle: none) is ready, the time passes, or STOP when `stoppable`.
  bool Sleep(NativeHandle fd, FdEvent event, std::int64_t ms, bool stoppable);

  FleetStatus& m_status;
  const std::size_t m_printer;
  const StopSignal& m_stop;
};

}  // namespace corvelle::cli
