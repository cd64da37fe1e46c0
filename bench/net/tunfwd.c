// SPDX-License-Identifier: MIT
// A lossy, slow link between two network namespaces, for the kernels that have no netem: opens a
// TUN device in each namespace and forwards every IP packet from one to the other after a delay
// that wanders within a band, drops some at random and holds a few back behind later ones.
//
//   tunfwd NETNS_A NAME_A NETNS_B NAME_B [--delay MS] [--jitter MS] [--loss P] [--reorder P]
//          [--seed N] [--queue PACKETS] [--seconds N]
//
// NETNS_* are namespace files (/run/netns/NAME). "ready" on stdout says both devices exist; the
// caller then gives them their addresses. SIGINT or SIGTERM (or --seconds) ends the run, with
// what was forwarded, lost, held back and dropped for a full queue on stderr.
//
// The delay of a packet is --delay plus an offset that moves by at most 2 ms every 10 ms within
// +-jitter (a seeded random walk), so packets keep their order as a real path's do; --reorder of
// them are held back a further 1 ms to --jitter ms, behind the packets that follow. Each
// direction queues at most --queue packets; more are dropped, as a router's full queue does.
#define _GNU_SOURCE
#include <errno.h>
#include <fcntl.h>
#include <linux/if.h>
#include <linux/if_tun.h>
#include <poll.h>
#include <sched.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ioctl.h>
#include <time.h>
#include <unistd.h>

enum { kMaxPacket = 2048, kReadsPerWake = 256 };

typedef struct {
  uint64_t due;  // ns on the monotonic clock
  uint64_t seq;  // arrival order, to break ties
  uint16_t length;
  unsigned char bytes[kMaxPacket];
} Packet;

typedef struct {
  int from, to;
  const char* name;
  Packet* slots;
  uint32_t* heap;  // slot numbers, earliest due first
  uint32_t* free;
  uint32_t count, freeCount, capacity;
  double jitter;  // ms, the walk's offset
  uint64_t walked;  // ns: the walk's last step
  uint64_t lastDue;
  uint64_t seq;
  uint64_t forwarded, lost, heldBack, overflow, writeFailed;
} Direction;

static double g_delayMs = 100, g_jitterMs = 20, g_loss = 0.01, g_reorder = 0.05;
static uint64_t g_random = 0x9E3779B97F4A7C15ull;
static volatile sig_atomic_t g_stop = 0;

static void OnSignal(int signal) { g_stop = signal; }

static uint64_t Now(void) {
  struct timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return (uint64_t)t.tv_sec * 1000000000ull + (uint64_t)t.tv_nsec;
}

// splitmix64: seeded, so one seed replays one run's losses.
static double Uniform(void) {
  uint64_t z = (g_random += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  z ^= z >> 31;
  return (double)(z >> 11) / 9007199254740992.0;
}

static int Fail(const char* what) {
  fprintf(stderr, "tunfwd: %s: %s\n", what, strerror(errno));
  return -1;
}

// A TUN device called `name` in the namespace of the file `netns`.
static int OpenTun(const char* netns, const char* name) {
  const int ns = open(netns, O_RDONLY | O_CLOEXEC);
  if (ns < 0 || setns(ns, CLONE_NEWNET) != 0) return Fail(netns);
  close(ns);
  const int fd = open("/dev/net/tun", O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return Fail("/dev/net/tun");
  struct ifreq request;
  memset(&request, 0, sizeof request);
  request.ifr_flags = IFF_TUN | IFF_NO_PI;
  snprintf(request.ifr_name, IFNAMSIZ, "%s", name);
  if (ioctl(fd, TUNSETIFF, &request) != 0) return Fail(name);
  return fd;
}

static int Earlier(const Direction* d, uint32_t a, uint32_t b) {
  const Packet* x = &d->slots[a];
  const Packet* y = &d->slots[b];
  return x->due < y->due || (x->due == y->due && x->seq < y->seq);
}

static void Swap(uint32_t* a, uint32_t* b) {
  const uint32_t t = *a;
  *a = *b;
  *b = t;
}

static void Push(Direction* d, uint32_t slot) {
  uint32_t i = d->count++;
  d->heap[i] = slot;
  while (i > 0 && Earlier(d, d->heap[i], d->heap[(i - 1) / 2])) {
    Swap(&d->heap[i], &d->heap[(i - 1) / 2]);
    i = (i - 1) / 2;
  }
}

static uint32_t Pop(Direction* d) {
  const uint32_t top = d->heap[0];
  d->heap[0] = d->heap[--d->count];
  for (uint32_t i = 0;;) {
    const uint32_t l = 2 * i + 1, r = l + 1;
    uint32_t m = i;
    if (l < d->count && Earlier(d, d->heap[l], d->heap[m])) m = l;
    if (r < d->count && Earlier(d, d->heap[r], d->heap[m])) m = r;
    if (m == i) break;
    Swap(&d->heap[i], &d->heap[m]);
    i = m;
  }
  return top;
}

// The walk takes its steps for the time passed since its last one (a bounded number after a
// quiet spell: it has long forgotten where it was).
static void Walk(Direction* d, uint64_t now) {
  for (int steps = 0; now - d->walked >= 10000000ull && steps < 1000; ++steps) {
    d->walked += 10000000ull;
    d->jitter += (Uniform() * 2 - 1) * 2;
    if (d->jitter > g_jitterMs) d->jitter = 2 * g_jitterMs - d->jitter;
    if (d->jitter < -g_jitterMs) d->jitter = -2 * g_jitterMs - d->jitter;
  }
  if (now - d->walked >= 10000000ull) d->walked = now;
}

static void Take(Direction* d, const unsigned char* bytes, size_t length, uint64_t now) {
  if (Uniform() < g_loss) {
    ++d->lost;
    return;
  }
  if (d->freeCount == 0) {
    ++d->overflow;
    return;
  }
  Walk(d, now);
  const uint32_t slot = d->free[--d->freeCount];
  Packet* p = &d->slots[slot];
  double delay = g_delayMs + d->jitter;
  if (delay < 0) delay = 0;
  p->due = now + (uint64_t)(delay * 1e6);
  if (Uniform() < g_reorder) {
    ++d->heldBack;
    const double extra = 1 + Uniform() * (g_jitterMs > 1 ? g_jitterMs - 1 : 0);
    p->due += (uint64_t)(extra * 1e6);
  } else {
    if (p->due < d->lastDue) p->due = d->lastDue;
    d->lastDue = p->due;
  }
  p->seq = d->seq++;
  p->length = (uint16_t)length;
  memcpy(p->bytes, bytes, length);
  Push(d, slot);
}

static void ReadFrom(Direction* d, uint64_t now) {
  unsigned char buffer[kMaxPacket];
  for (int i = 0; i < kReadsPerWake; ++i) {
    const ssize_t n = read(d->from, buffer, sizeof buffer);
    if (n <= 0) return;
    Take(d, buffer, (size_t)n, now);
  }
}

static void SendDue(Direction* d, uint64_t now) {
  while (d->count > 0 && d->slots[d->heap[0]].due <= now) {
    const uint32_t slot = Pop(d);
    const Packet* p = &d->slots[slot];
    if (write(d->to, p->bytes, p->length) == (ssize_t)p->length) {
      ++d->forwarded;
    } else {
      ++d->writeFailed;  // the far device is down or full: the packet is lost there
    }
    d->free[d->freeCount++] = slot;
  }
}

static int Init(Direction* d, const char* name, int from, int to, uint32_t capacity) {
  memset(d, 0, sizeof *d);
  d->name = name;
  d->from = from;
  d->to = to;
  d->capacity = capacity;
  d->slots = calloc(capacity, sizeof *d->slots);
  d->heap = calloc(capacity, sizeof *d->heap);
  d->free = calloc(capacity, sizeof *d->free);
  if (!d->slots || !d->heap || !d->free) return -1;
  for (uint32_t i = 0; i < capacity; ++i) d->free[i] = capacity - 1 - i;
  d->freeCount = capacity;
  d->walked = Now();
  return 0;
}

static void Report(const Direction* d) {
  fprintf(stderr, "%s: forwarded %llu, lost %llu, held back %llu, queue full %llu, write failed %llu\n", d->name,
          (unsigned long long)d->forwarded, (unsigned long long)d->lost, (unsigned long long)d->heldBack,
          (unsigned long long)d->overflow, (unsigned long long)d->writeFailed);
}

static int Usage(void) {
  fprintf(stderr,
          "usage: tunfwd NETNS_A NAME_A NETNS_B NAME_B [--delay MS] [--jitter MS] [--loss P] [--reorder P] "
          "[--seed N] [--queue PACKETS] [--seconds N]\n");
  return 2;
}

int main(int argc, char** argv) {
  if (argc < 5) return Usage();
  long queue = 4096;
  double seconds = 0;
  for (int i = 5; i < argc; i += 2) {
    if (i + 1 >= argc) return Usage();
    const char* option = argv[i];
    char* end = NULL;
    const double value = strtod(argv[i + 1], &end);
    if (*end != '\0' || value < 0) return Usage();
    if (strcmp(option, "--delay") == 0) g_delayMs = value;
    else if (strcmp(option, "--jitter") == 0) g_jitterMs = value;
    else if (strcmp(option, "--loss") == 0 && value <= 1) g_loss = value;
    else if (strcmp(option, "--reorder") == 0 && value <= 1) g_reorder = value;
    else if (strcmp(option, "--seed") == 0) g_random = (uint64_t)value;
    else if (strcmp(option, "--queue") == 0 && value >= 1 && value <= 1000000) queue = (long)value;
    else if (strcmp(option, "--seconds") == 0) seconds = value;
    else return Usage();
  }
  sigset_t blocked, waitMask;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGINT);
  sigaddset(&blocked, SIGTERM);
  sigprocmask(SIG_BLOCK, &blocked, &waitMask);
  struct sigaction action;
  memset(&action, 0, sizeof action);
  action.sa_handler = OnSignal;
  sigaction(SIGINT, &action, NULL);
  sigaction(SIGTERM, &action, NULL);

  const int a = OpenTun(argv[1], argv[2]);
  const int b = a < 0 ? -1 : OpenTun(argv[3], argv[4]);
  if (a < 0 || b < 0) return 1;
  Direction there, back;
  if (Init(&there, "a->b", a, b, (uint32_t)queue) != 0 || Init(&back, "b->a", b, a, (uint32_t)queue) != 0) {
    fprintf(stderr, "tunfwd: out of memory\n");
    return 1;
  }
  printf("ready\n");
  fflush(stdout);

  const uint64_t end = seconds > 0 ? Now() + (uint64_t)(seconds * 1e9) : UINT64_MAX;
  while (!g_stop) {
    uint64_t now = Now();
    if (now >= end) break;
    uint64_t next = end;
    if (there.count > 0 && there.slots[there.heap[0]].due < next) next = there.slots[there.heap[0]].due;
    if (back.count > 0 && back.slots[back.heap[0]].due < next) next = back.slots[back.heap[0]].due;
    const uint64_t wait = next - now;
    const struct timespec timeout = {(time_t)(wait / 1000000000ull), (long)(wait % 1000000000ull)};
    struct pollfd fds[2] = {{a, POLLIN, 0}, {b, POLLIN, 0}};
    if (ppoll(fds, 2, &timeout, &waitMask) < 0 && errno != EINTR) {
      Fail("ppoll");
      break;
    }
    // A device that has gone (its namespace deleted) ends the run.
    if ((fds[0].revents | fds[1].revents) & (POLLERR | POLLHUP | POLLNVAL)) break;
    now = Now();
    if (fds[0].revents & POLLIN) ReadFrom(&there, now);
    if (fds[1].revents & POLLIN) ReadFrom(&back, now);
    SendDue(&there, now);
    SendDue(&back, now);
  }
  Report(&there);
  Report(&back);
  return 0;
}
