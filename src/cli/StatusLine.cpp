// SPDX-License-Identifier: MIT
// The progress line's text; the terminal's detection and width are the platform's
// (ConsolePosix.cpp, win/ConsoleWin.cpp).
#include "cli/StatusLine.h"

#include <algorithm>

namespace corvelle::cli {
namespace {

constexpr std::size_t kFullBar = 20;
constexpr std::size_t kNarrowBar = 10;

std::string Bar(int percent, std::size_t width) {
  const auto filled = static_cast<std::size_t>(percent) * width / 100;
  return "[" + std::string(filled, '#') + std::string(width - filled, ' ') + "] ";
}

// The last words of `text` that fit in `width` ("printer: 18 s", "18 s"); "" when not even its
// last two fit, since a count without its unit, or a unit without its count, says nothing.
std::string LastWords(std::string_view text, std::size_t width) {
  const std::size_t lastBlank = text.rfind(' ');
  const std::size_t shortest =
      lastBlank == std::string_view::npos || lastBlank == 0 ? 0 : text.rfind(' ', lastBlank - 1) + 1;
  for (std::size_t start = 0; start <= shortest; start = text.find(' ', start) + 1) {
    if (text.size() - start <= width) return std::string(text.substr(start));
    if (text.find(' ', start) == std::string_view::npos) break;
  }
  return "";
}

}  // namespace

std::string ProgressLine(int percent, std::string_view step, std::size_t width) {
  percent = std::clamp(percent, 0, 100);
  const std::string number = std::to_string(percent) + "%";
  const auto line = [&](std::string bar, std::string_view shown) {
    return shown.empty() ? bar + number : bar + number + "  " + std::string(shown);
  };
  const std::size_t stepGap = step.empty() ? 0 : 2;
  for (const std::size_t bar : {kFullBar, kNarrowBar}) {
    if (bar + 3 + number.size() + stepGap + step.size() <= width) return line(Bar(percent, bar), step);
  }
  if (step.empty()) return number.substr(0, width);
  const std::size_t narrow = kNarrowBar + 3 + number.size() + 2;
  if (width > narrow) {
    if (const std::string words = LastWords(step, width - narrow); !words.empty()) {
      return line(Bar(percent, kNarrowBar), words);
    }
  }
  const std::size_t bare = number.size() + 2;
  if (width > bare) {
    if (const std::string words = LastWords(step, width - bare); !words.empty()) return line("", words);
  }
  return number.substr(0, width);
}

std::string PauseText(int secondsLeft) { return "Waiting for the printer: " + std::to_string(secondsLeft) + " s"; }

}  // namespace corvelle::cli
