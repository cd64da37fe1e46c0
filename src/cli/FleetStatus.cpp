// SPDX-License-Identifier: MIT
// The stderr of a download to several printers.
#include "cli/FleetStatus.h"

#include <algorithm>

#include "cli/TextSink.h"

namespace corvelle::cli {

std::string StatusText(const FleetCounts& counts) {
  std::string text = "Printers: ";
  if (counts.waiting > 0) text += std::to_string(counts.waiting) + " waiting, ";
  text += std::to_string(counts.announcing) + " announcing, " + std::to_string(counts.pausing) + " pausing";
  if (counts.longestPause > 0) text += " (" + std::to_string(counts.longestPause) + " s)";
  text += ", " + std::to_string(counts.sending) + " sending, " + std::to_string(counts.done) + " done, " +
          std::to_string(counts.failed) + " failed";
  if (counts.stopped > 0) text += ", " + std::to_string(counts.stopped) + " stopped";
  return text;
}

std::string FitToWidth(const std::string& text, int columns) {
  const auto room = static_cast<std::size_t>(std::max(columns - 1, 1));
  return text.size() <= room ? text : text.substr(0, room);
}

FleetStatus::FleetStatus(std::vector<std::string> names, std::ostream& out, bool live, std::function<int()> columns,
                         bool quiet)
    : m_names(std::move(names)),
      m_printers(m_names.size()),
      m_out(out),
      m_live(live && !quiet),
      m_quiet(quiet),
      m_columns(std::move(columns)) {
  std::lock_guard lock(m_mutex);
  RedrawLocked();
}

FleetStatus::~FleetStatus() {
  std::lock_guard lock(m_mutex);
  if (!m_shown.empty()) m_out << '\n' << std::flush;
}

void FleetStatus::Step(std::size_t printer, const DownloadStep& step) {
  std::lock_guard lock(m_mutex);
  Printer& p = m_printers.at(printer);
  switch (step.state) {
    case DownloadState::Opening:
      if (p.phase == PrinterPhase::Waiting) p.phase = PrinterPhase::Announcing;
      break;
    case DownloadState::Announcing: p.phase = PrinterPhase::Announcing; break;
    case DownloadState::Pausing:
      p.phase = PrinterPhase::Pausing;
      p.pauseLeft = static_cast<int>(step.pauseExceeds + 1);
      break;
    case DownloadState::Sending: p.phase = PrinterPhase::Sending; break;
    // The closing wait follows; a run that failed is finished at once.
    case DownloadState::Ending:
      p.phase = PrinterPhase::Pausing;
      p.pauseLeft = 0;
      RedrawLocked();
      return;
  }
  ChangedLocked(printer, DescribeStep(step));
}

void FleetStatus::Pause(std::size_t printer, int secondsLeft) {
  std::lock_guard lock(m_mutex);
  m_printers.at(printer).pauseLeft = secondsLeft;
  RedrawLocked();
}

void FleetStatus::EndPause(std::size_t printer) {
  std::lock_guard lock(m_mutex);
  m_printers.at(printer).pauseLeft = 0;
  RedrawLocked();
}

void FleetStatus::Message(std::size_t printer, const std::string& text) {
  std::lock_guard lock(m_mutex);
  ClearLineLocked();
  const std::string& name = m_names.at(printer);
  std::size_t start = 0;
  for (;;) {
    const std::size_t end = text.find('\n', start);
    m_out << name << ": " << text.substr(start, end - start) << '\n';
    if (end == std::string::npos) break;
    start = end + 1;
  }
  m_out << std::flush;
  RedrawLocked();
}

void FleetStatus::Finish(std::size_t printer, PrinterPhase result) {
  std::lock_guard lock(m_mutex);
  Printer& p = m_printers.at(printer);
  p.phase = result;
  p.pauseLeft = 0;
  ChangedLocked(printer, result == PrinterPhase::Done ? "ok" : result == PrinterPhase::Stopped ? "stopped" : "failed");
}

FleetCounts FleetStatus::Counts() const {
  std::lock_guard lock(m_mutex);
  return CountsLocked();
}

FleetCounts FleetStatus::CountsLocked() const {
  FleetCounts counts;
  for (const Printer& p : m_printers) {
    switch (p.phase) {
      case PrinterPhase::Waiting: ++counts.waiting; break;
      case PrinterPhase::Announcing: ++counts.announcing; break;
      case PrinterPhase::Pausing:
        ++counts.pausing;
        counts.longestPause = std::max(counts.longestPause, p.pauseLeft);
        break;
      case PrinterPhase::Sending: ++counts.sending; break;
      case PrinterPhase::Done: ++counts.done; break;
      case PrinterPhase::Failed: ++counts.failed; break;
      case PrinterPhase::Stopped: ++counts.stopped; break;
    }
  }
  return counts;
}

void FleetStatus::ChangedLocked(std::size_t printer, const std::string& what) {
  if (m_live) {
    RedrawLocked();
  } else if (!m_quiet) {
    m_out << m_names.at(printer) << ": " << what << '\n' << std::flush;
  }
}

void FleetStatus::RedrawLocked() {
  if (!m_live) return;
  const std::string line = FitToWidth(StatusText(CountsLocked()), m_columns ? m_columns() : 80);
  if (line == m_shown) return;
  m_out << TerminalControl{"\r\033[K"} << line << std::flush;
  m_shown = line;
}

void FleetStatus::ClearLineLocked() {
  if (m_shown.empty()) return;
  m_out << TerminalControl{"\r\033[K"};
  m_shown.clear();
}

}  // namespace corvelle::cli
