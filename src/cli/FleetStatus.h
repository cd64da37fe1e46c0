// SPDX-License-Identifier: MIT
// What a download to several printers shows on stderr. Printers never write there themselves:
// they tell this one object, which prints each printer's messages prefixed with its target and,
// on a terminal, keeps one line below them with the counts of printers in each state and the
// longest pause still to run; through a pipe it prints one line per printer state change instead.
#pragma once

#include <functional>
#include <mutex>
#include <ostream>
#include <string>
#include <vector>

#include "download/DownloadPlan.h"

namespace corvelle::cli {

enum class PrinterPhase { Waiting, Announcing, Pausing, Sending, Done, Failed, Stopped };

struct FleetCounts {
  int waiting = 0;
  int announcing = 0;
  int pausing = 0;
  int sending = 0;
  int done = 0;
  int failed = 0;
  int stopped = 0;
  int longestPause = 0;  // whole seconds of the longest pause still to run; 0 when none
};

// "Printers: 3 announcing, 90 pausing (18 s), 7 sending, 0 done, 0 failed": the longest pause
// still to run beside the pausing count (while one runs), and the waiting and stopped counts only
// when there are any.
std::string StatusText(const FleetCounts& counts);
// `text` cut to fit a line of `columns` columns without wrapping (one column is left for the
// cursor); at least one character shows.
std::string FitToWidth(const std::string& text, int columns);

class FleetStatus {
 public:
  // `live`: `out` is a terminal that redraws a line in place; `columns` is asked before every
  // redraw (the window may change size meanwhile). `quiet`: only the printers' messages are shown.
  FleetStatus(std::vector<std::string> names, std::ostream& out, bool live, std::function<int()> columns,
              bool quiet = false);
  ~FleetStatus();
  FleetStatus(const FleetStatus&) = delete;
  FleetStatus& operator=(const FleetStatus&) = delete;

  // Printer `printer` enters `step` of its download.
  void Step(std::size_t printer, const DownloadStep& step);
  // Its pause has `secondsLeft` whole seconds to run.
  void Pause(std::size_t printer, int secondsLeft);
  void EndPause(std::size_t printer);
  // A message it would show (each line prefixed with its name).
  void Message(std::size_t printer, const std::string& text);
  // It has its result (Done, Failed or Stopped).
  void Finish(std::size_t printer, PrinterPhase result);

  FleetCounts Counts() const;

 private:
  struct Printer {
    PrinterPhase phase = PrinterPhase::Waiting;
    int pauseLeft = 0;
  };
  FleetCounts CountsLocked() const;
  void ChangedLocked(std::size_t printer, const std::string& what);
  void RedrawLocked();
  void ClearLineLocked();

  mutable std::mutex m_mutex;
  const std::vector<std::string> m_names;
  std::vector<Printer> m_printers;
  std::ostream& m_out;
  const bool m_live;
  const bool m_quiet;
  const std::function<int()> m_columns;
  std::string m_shown;  // the status line on the terminal now; empty when none is drawn
};

}  // namespace corvelle::cli
