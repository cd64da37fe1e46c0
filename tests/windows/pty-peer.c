// SPDX-License-Identifier: MIT
// The printer's end of a serial line for the Windows tests, a Linux program: it makes a
// pseudo-terminal, links it into the Wine prefix as comN, runs the given command (a test program
// under Wine) and, while it runs, plays the printer. Everything that arrives is appended to
// DIR/comN.bytes; DIR/comN.line always holds the line's settings as the terminal has them; while
// DIR/comN.hold exists nothing is read, so the line fills and stays held. It holds the terminal
// open itself, so the line survives the program's closes. Exits with the command's status.
//
// Usage: pty-peer N DIR COMMAND [ARG...]   (WINEPREFIX as for wine, default ~/.wine)
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
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

static unsigned SpeedOf(speed_t code) {
  static const struct { speed_t code; unsigned baud; } speeds[] = {
      {B1200, 1200}, {B2400, 2400}, {B4800, 4800}, {B9600, 9600}, {B19200, 19200}, {B38400, 38400}, {B57600, 57600},
      {B115200, 115200}};
  for (size_t i = 0; i < sizeof speeds / sizeof speeds[0]; ++i) {
    if (speeds[i].code == code) return speeds[i].baud;
  }
  return 0;
}

// One line of "name=value" pairs the tests compare as a whole.
static void Describe(const struct termios* t, char* out, size_t size) {
  const tcflag_t csize = t->c_cflag & CSIZE;
  snprintf(out, size, "speed=%u bits=%d parity=%s stop=%d crtscts=%d ixon=%d ixoff=%d opost=%d icanon=%d echo=%d\n",
           SpeedOf(cfgetospeed(t)), csize == CS5 ? 5 : csize == CS6 ? 6 : csize == CS7 ? 7 : 8,
           !(t->c_cflag & PARENB) ? "none" : (t->c_cflag & PARODD) ? "odd" : "even", (t->c_cflag & CSTOPB) ? 2 : 1,
           (t->c_cflag & CRTSCTS) != 0, (t->c_iflag & IXON) != 0, (t->c_iflag & IXOFF) != 0,
           (t->c_oflag & OPOST) != 0, (t->c_lflag & ICANON) != 0, (t->c_lflag & ECHO) != 0);
}

// Replaces `path` with `text` in one step, so a reader never sees half of it.
static void WriteWhole(const char* path, const char* text) {
  char temporary[4200];
  snprintf(temporary, sizeof temporary, "%s.new", path);
  FILE* f = fopen(temporary, "w");
  if (!f) Fail(temporary);
  fputs(text, f);
  if (fclose(f) != 0 || rename(temporary, path) != 0) Fail(path);
}

int main(int argc, char** argv) {
  if (argc < 4) {
    fprintf(stderr, "usage: pty-peer N DIR COMMAND [ARG...]\n");
    return 125;
  }
  const char* number = argv[1];
  const char* dir = argv[2];
  char bytesPath[4096], linePath[4096], holdPath[4096];
  snprintf(bytesPath, sizeof bytesPath, "%s/com%s.bytes", dir, number);
  snprintf(linePath, sizeof linePath, "%s/com%s.line", dir, number);
  snprintf(holdPath, sizeof holdPath, "%s/com%s.hold", dir, number);
  mkdir(dir, 0700);
  unlink(holdPath);

  const int master = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) Fail("posix_openpt");
  const char* slaveName = ptsname(master);
  if (!slaveName) Fail("ptsname");
  const int slave = open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (slave < 0) Fail(slaveName);

  const char* prefix = getenv("WINEPREFIX");
  char defaultPrefix[2048];
  if (!prefix || !*prefix) {
    snprintf(defaultPrefix, sizeof defaultPrefix, "%s/.wine", getenv("HOME") ? getenv("HOME") : "");
    prefix = defaultPrefix;
  }
  if (strlen(prefix) + strlen(number) + 20 > sizeof g_link) {
    fprintf(stderr, "pty-peer: WINEPREFIX too long\n");
    return 125;
  }
  snprintf(g_link, sizeof g_link, "%.2048s/dosdevices/com%.8s", prefix, number);
  unlink(g_link);
  if (symlink(slaveName, g_link) != 0) Fail(g_link);

  const int bytes = open(bytesPath, O_WRONLY | O_CREAT | O_TRUNC | O_APPEND | O_CLOEXEC, 0600);
  if (bytes < 0) Fail(bytesPath);
  char lastLine[512] = "";
  setenv("CORVELLE_PEER_COM", number, 1);
  setenv("CORVELLE_PEER_DIR", dir, 1);

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
  for (int running = 1;;) {
    if (running && waitpid(child, &status, WNOHANG) == child) running = 0;
    struct termios t;
    if (tcgetattr(slave, &t) == 0) {
      char line[512];
      Describe(&t, line, sizeof line);
      if (strcmp(line, lastLine) != 0) {
        WriteWhole(linePath, line);
        strcpy(lastLine, line);
      }
    }
    if (running && access(holdPath, F_OK) == 0) {
      usleep(20000);
      continue;
    }
    struct pollfd p = {master, POLLIN, 0};
    const int ready = poll(&p, 1, running ? 20 : 200);
    if (ready > 0 && (p.revents & POLLIN)) {
      char buffer[65536];
      const ssize_t n = read(master, buffer, sizeof buffer);
      if (n > 0 && write(bytes, buffer, (size_t)n) != n) Fail(bytesPath);
    } else if (!running) {
      break;
    }
  }
  unlink(g_link);
  close(bytes);
  close(slave);
  close(master);
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}
