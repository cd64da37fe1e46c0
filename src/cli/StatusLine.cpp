// SPDX-License-Identifier: MIT
// The progress line's text; the terminal's detection and width are the platform's
// (ConsolePosix.cpp, win/ConsoleWin.cpp).
#include "cli/StatusLine.h"

#include <algorithm>

namespace corvelle::cli {

std::string ElideMiddle(std::string_view text, std::size_t width) {
  constexpr std::string_view kDots = "...";
  if (text.size() <= width) return std::string(text);
  if (width <= kDots.size()) return std::string(width, '.');
  const std::size_t kept = width - kDots.size();
  const std::size_t head = (kept + 1) / 2, tail = kept / 2;
  return std::string(text.substr(0, head)) + std::string(kDots) + std::string(text.substr(text.size() - tail));
}

std::string ProgressLine(std::string_view message, int percent, std::string_view step, std::size_t width) {
  percent = std::clamp(percent, 0, 100);
  const auto filled = static_cast<std::size_t>(percent / 5);
  std::string line(message);
  line += " [" + std::string(filled, '#') + std::string(20 - filled, ' ') + "] " + std::to_string(percent) + "%  ";
  line += step;
  return ElideMiddle(line, width);
}

std::string PauseText(int secondsLeft) { return "Waiting for the printer: " + std::to_string(secondsLeft) + " s"; }

}  // namespace corvelle::cli
