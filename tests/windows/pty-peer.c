// SPDX-License-Identifier: MIT
// The printer's end of a serial line for the Windows tests, a Linux program: it makes a
// pseudo-terminal, links it into the Wine prefix as comN, runs the given command (a test program
// under Wine) and, while it runs, plays the printer. Everything that arrives is appended to
// DIR/comN.bytes; DIR/comN.line always holds the line's settings as the terminal has them; while
// DIR/comN.hold exists nothing is read, so the line fills and stays held. It holds the terminal
// open itself, so the line survives the program's closes. Exits with the command's status.
//
// Usage: pty-peer N DIR COMMAND [ARG...]   (with WINEPREFIX set, as the tests run wine)
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

static char g_link[4096];

static void Fail(const char* what) {
  fprintf(stderr, "pty-peer: %s: %s\n", what, strerror(errno));
  if (g_link[0]) unlink(g_link);
  exit(125);
}

// One line of "name=value" pairs the tests compare as a whole.
static void Describe(const struct termios* t, char* out, size_t size) {
  static const speed_t codes[] = {B1200, B2400, B4800, B9600, B19200, B38400, B57600, B115200};
  static const unsigned bauds[] = {1200, 2400, 4800, 9600, 19200, 38400, 57600, 115200};
  unsigned baud = 0;
  for (size_t i = 0; i < sizeof codes / sizeof codes[0]; ++i) baud = codes[i] == cfgetospeed(t) ? bauds[i] : baud;
  const tcflag_t csize = t->c_cflag & CSIZE;
  snprintf(out, size, "speed=%u bits=%d parity=%s stop=%d crtscts=%d ixon=%d ixoff=%d opost=%d icanon=%d echo=%d\n",
           baud, csize == CS5 ? 5 : csize == CS6 ? 6 : csize == CS7 ? 7 : 8,
           !(t->c_cflag & PARENB) ? "none" : (t->c_cflag & PARODD) ? "odd" : "even", (t->c_cflag & CSTOPB) ? 2 : 1,
           (t->c_cflag & CRTSCTS) != 0, (t->c_iflag & IXON) != 0, (t->c_iflag & IXOFF) != 0,
           (t->c_oflag & OPOST) != 0, (t->c_lflag & ICANON) != 0, (t->c_lflag & ECHO) != 0);
}

// DIR/comN.what.
static void PathOf(char* out, const char* dir, const char* number, const char* what) {
  snprintf(out, 4200, "%.2048s/com%s.%s", dir, number, what);
}

int main(int argc, char** argv) {
  const char* prefix = getenv("WINEPREFIX");
  if (argc < 4 || !prefix || strlen(prefix) > 2048 || strlen(argv[2]) > 2048 || strlen(argv[1]) > 8) {
    fprintf(stderr, "usage: WINEPREFIX=PREFIX pty-peer N DIR COMMAND [ARG...]\n");
    return 125;
  }
  const char* number = argv[1];
  char bytesPath[4200], linePath[4200], newLinePath[4200], holdPath[4200];
  PathOf(bytesPath, argv[2], number, "bytes");
  PathOf(linePath, argv[2], number, "line");
  PathOf(newLinePath, argv[2], number, "line.new");
  PathOf(holdPath, argv[2], number, "hold");
  mkdir(argv[2], 0700);
  unlink(holdPath);

  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0 || !ptsname(master)) Fail("posix_openpt");
  const int slave = open(ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) Fail(ptsname(master));
  snprintf(g_link, sizeof g_link, "%.2048s/dosdevices/com%.8s", prefix, number);
  unlink(g_link);
  if (symlink(ptsname(master), g_link) != 0) Fail(g_link);
  const int bytes = open(bytesPath, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
  if (bytes < 0) Fail(bytesPath);
  setenv("CORVELLE_PEER_COM", number, 1);
  setenv("CORVELLE_PEER_DIR", argv[2], 1);

  const pid_t child = fork();
  if (child < 0) Fail("fork");
  if (child == 0) {
    execvp(argv[3], argv + 3);
    fprintf(stderr, "pty-peer: %s: %s\n", argv[3], strerror(errno));
    _exit(127);
  }
  // While the program runs; then until the line has stayed quiet for 200 ms, for what it wrote
  // just before it ended.
  int status = 0;
  char lastLine[512] = "";
  for (int running = 1;;) {
    if (running && waitpid(child, &status, WNOHANG) == child) running = 0;
    struct termios t;
    char line[512];
    if (tcgetattr(slave, &t) == 0 && (Describe(&t, line, sizeof line), strcmp(line, lastLine) != 0)) {
      // Replaced in one step, so that a reader never sees half of it.
      FILE* f = fopen(newLinePath, "w");
      if (!f || fputs(line, f) < 0 || fclose(f) != 0 || rename(newLinePath, linePath) != 0) Fail(linePath);
      strcpy(lastLine, line);
    }
    if (running && access(holdPath, F_OK) == 0) {
      usleep(20000);
      continue;
    }
    struct pollfd p = {master, POLLIN, 0};
    if (poll(&p, 1, running ? 20 : 200) > 0 && (p.revents & POLLIN)) {
      char buffer[65536];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0 && write(bytes, buffer, (size_t)n) != n) Fail(bytesPath);
    } else if (!running) {
      break;
    }
  }
  unlink(g_link);
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}
