// SPDX-License-Identifier: MIT
// The console on Linux: SIGPIPE ignored, a terminal told apart from a log, and its width.
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "cli/Console.h"
#include "cli/StatusLine.h"

namespace corvelle::cli {

std::vector<std::string> CommandArguments(int argc, char** argv) { return {argv + 1, argv + argc}; }

void PrepareConsole() { std::signal(SIGPIPE, SIG_IGN); }

bool StandardOutputReaderGone() {
  // A pipe or socket whose reader has gone reports an error to poll.
  pollfd ready{STDOUT_FILENO, POLLOUT, 0};
  return ::poll(&ready, 1, 0) == 1 && (ready.revents & POLLERR) != 0;
}

bool IsSmartTerminal(int fd) {
  const char* term = std::getenv("TERM");
  return ::isatty(fd) != 0 && term != nullptr && *term != '\0' && std::strcmp(term, "dumb") != 0;
}

std::size_t TerminalColumns(int fd) {
  winsize size {};
  if (::ioctl(fd, TIOCGWINSZ, &size) != 0 || size.ws_col == 0) return 80;
  return size.ws_col;
}

}  // namespace corvelle::cli
