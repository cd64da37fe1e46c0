// SPDX-License-Identifier: MIT
// The one-line progress display of a terminal: whether stderr is a terminal that can redraw a
// line in place, how wide it is now, and the line itself, built apart from where it is printed.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace corvelle::cli {

// Standard output's and standard error's descriptor numbers, on both platforms.
inline constexpr int kStandardOutput = 1;
inline constexpr int kStandardError = 2;

// A terminal that takes "\r" and "erase to the end of the line": `fd` is a terminal and TERM is
// set and not "dumb". Anything else gets plain lines.
bool IsSmartTerminal(int fd);

// The terminal's columns (TIOCGWINSZ), read anew on every call since the window may be resized;
// 80 when the size cannot be read or is 0.
std::size_t TerminalColumns(int fd);

// "[#####               ] 25%  STEP" in at most `width` characters. The percentage always shows;
// when the width is short the bar narrows first, then the step loses its start (its end, where a
// countdown's seconds stand, stays), then the bar goes. The message is not on it: it stands on a
// line of its own above.
std::string ProgressLine(int percent, std::string_view step, std::size_t width);

// The countdown of a pause: "Waiting for the printer: 18 s".
std::string PauseText(int secondsLeft);

}  // namespace corvelle::cli
