// SPDX-License-Identifier: MIT
// The simulator's event loop over the TCP listener, its connections and the pseudo-terminal.
#include "printer-sim/Simulator.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string_view>
#include <vector>

namespace corvelle::printersim {
namespace {

volatile std::sig_atomic_t g_stopSignal = 0;
// Readable once a stop signal came: the signal interrupts the wait of one thread only, so every
// simulator's wait also polls this.
int g_wakeFd = -1;

void OnStopSignal(int signal) {
  g_stopSignal = signal;
  const std::uint64_t one = 1;
  if (g_wakeFd >= 0) {
    [[maybe_unused]] const ssize_t n = ::write(g_wakeFd, &one, sizeof one);
  }
}

// A peer address keeps at most this many connections that have sent nothing, and the printer at
// most kMaxConnections in all (the one served plus those waiting), so that descriptors last.
constexpr std::size_t kMaxSilentPerPeer = 16;
constexpr std::size_t kMaxConnections = 256;
constexpr std::size_t kReadChunk = 64 * 1024;
// How long accepting rests after the system ran out of descriptors for a new connection.
constexpr int kAcceptRestMs = 100;

// What --talk sends: "KERV" and a zero byte, over and over; `offset` continues the pattern.
std::string_view TalkBytes(std::uint64_t offset, std::uint64_t left) {
  static const std::string pattern = [] {
    std::string bytes;
    while (bytes.size() < 4096) bytes.append("KERV\0", 5);
    return bytes;
  }();
  const std::size_t start = static_cast<std::size_t>(offset % 5);
  return std::string_view(pattern).substr(start, std::min<std::uint64_t>(left, pattern.size() - 5));
}

// Whether bytes have arrived on the socket that nobody has read yet.
bool BytesWaiting(int fd) {
  int count = 0;
  return ::ioctl(fd, FIONREAD, &count) == 0 && count > 0;
}

}  // namespace

Simulator::Simulator(const SimOptions& options, EventLog& log)
    : m_options(options), m_log(log), m_session(log, options) {}

bool Simulator::Open(std::string* error) {
  if (g_wakeFd < 0) g_wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  sigprocmask(SIG_BLOCK, &stopSignals, &m_waitMask);
  sigdelset(&m_waitMask, SIGINT);
  sigdelset(&m_waitMask, SIGTERM);
  struct sigaction action {};
  action.sa_handler = OnStopSignal;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
  std::signal(SIGPIPE, SIG_IGN);

  const bool refusing = m_options.tcp && m_options.refuseFirst > 0;
  if (m_options.tcp && !OpenListener(m_options.bindAddress, m_options.port, m_listener, error, !refusing)) return false;
  if (refusing) m_listensAt = Clock::now() + std::chrono::seconds(m_options.refuseForSeconds);
  if (m_options.pty && !OpenPseudoTerminal(m_pty, error)) return false;
  if (!m_options.usbSocket.empty()) {
    m_usb = std::make_unique<UsbEndpoint>(m_options, m_log, m_session);
    if (!m_usb->Open(error)) return false;
  }
  return true;
}

void Simulator::PrintAddresses() {
  if (m_options.tcp) std::printf("tcp %s\n", m_listener.Endpoint().c_str());
  if (m_options.pty) std::printf("pty %s\n", m_pty.slavePath.c_str());
  if (m_usb) std::printf("usb %s\n", m_usb->Path().c_str());
  std::fflush(stdout);
}

void Simulator::LogListening() {
  if (m_options.tcp && m_listensAt) {
    m_log.Write(LogRecord("refusing")
                    .Text("transport", "tcp")
                    .Text("address", m_listener.address)
                    .Number("port", m_listener.port)
                    .Number("seconds", m_options.refuseForSeconds));
  } else if (m_options.tcp) {
    LogTcpListening();
  }
  if (m_options.pty) m_log.Write(LogRecord("pty_opened").Text("path", m_pty.slavePath));
}

void Simulator::LogTcpListening() {
  m_log.Write(
      LogRecord("listening").Text("transport", "tcp").Text("address", m_listener.address).Number("port", m_listener.port));
}

std::optional<std::int64_t> Simulator::ListenWhenDue() {
  if (!m_listensAt) return std::nullopt;
  const auto now = Clock::now();
  if (now < *m_listensAt) return std::chrono::ceil<std::chrono::milliseconds>(*m_listensAt - now).count();
  m_listensAt.reset();
  std::string error;
  if (StartListening(m_listener, &error)) {
    LogTcpListening();
  } else {
    m_log.Write(LogRecord("listen_failed").Text("error", error));
    m_listener.fd = UniqueFd();
  }
  return std::nullopt;
}

StreamSink Simulator::TcpSink() {
  const StreamSource source{"tcp", m_connections.empty() ? 0 : m_connections.front().id};
  return [this, source](const StreamEvent& event) { m_session.OnStreamEvent(event, source); };
}

StreamSink Simulator::PtySink() {
  return [this](const StreamEvent& event) {
    m_session.OnStreamEvent(event, StreamSource{"pty", 0});
    const bool command = event.kind == StreamEventKind::Announcement || event.kind == StreamEventKind::SetupCommand ||
                         event.kind == StreamEventKind::RefusedCommand;
    if (command) m_ptyTalkLeft += m_options.talk;
  };
}

int Simulator::WakeFd() { return g_wakeFd; }

std::optional<std::int64_t> Simulator::Prepare(std::vector<pollfd>& fds, bool mayAccept) {
  const auto idleDue = CloseIdle();
  const auto listenDue = ListenWhenDue();
  std::optional<std::int64_t> acceptDue;
  if (m_acceptResumes) {
    acceptDue = std::max<std::int64_t>(0, (*m_acceptResumes - Clock::now()) / std::chrono::milliseconds(1));
    if (*acceptDue == 0) m_acceptResumes.reset();
  }
  m_listenerIndex.reset();
  if (m_listener.fd.Valid() && !m_listensAt && mayAccept) {
    m_listenerIndex = fds.size();
    fds.push_back({m_listener.fd.Get(), static_cast<short>(m_acceptResumes ? 0 : POLLIN), 0});
  }
  m_ptyIndex = fds.size();
  if (m_pty.master.Valid() && !m_ptyBroken) {
    const short events = static_cast<short>((m_ptyStalled ? 0 : POLLIN) | (m_ptyTalkLeft > 0 ? POLLOUT : 0));
    fds.push_back({m_pty.master.Get(), events, 0});
  }
  m_usbIndex = fds.size();
  if (m_usb) m_usb->AddPollFds(fds);
  m_firstConnection = fds.size();
  m_polled.clear();
  m_currentSilent = !m_connections.empty() && m_connections.front().received == 0;
  for (std::size_t i = 0; i < m_connections.size(); ++i) {
    Connection& connection = m_connections[i];
    short events = connection.talkLeft > 0 ? POLLOUT : 0;
    if (i == 0) {
      events |= connection.stalled ? POLLRDHUP : POLLIN;
    } else if (m_currentSilent) {
      events |= POLLIN;
    } else if (connection.hungUp) {
      continue;
    }
    fds.push_back({connection.fd.Get(), events, 0});
    m_polled.push_back(&connection);
  }
  auto due = m_usb ? m_usb->MsToNextEvent() : std::nullopt;
  if (idleDue && (!due || *idleDue < *due)) due = idleDue;
  if (acceptDue && m_acceptResumes && (!due || *acceptDue < *due)) due = acceptDue;
  if (listenDue && (!due || *listenDue < *due)) due = listenDue;
  return due;
}

void Simulator::Handle(const std::vector<pollfd>& fds, std::size_t* acceptsLeft) {
  if (m_ptyIndex < m_usbIndex) {
    const short revents = fds[m_ptyIndex].revents;
    if (revents & POLLOUT) TalkPty();
    if (!m_ptyStalled && (revents & (POLLIN | POLLHUP | POLLERR))) ReadPty();
  }
  if (m_usb) m_usb->Serve(&fds[m_usbIndex]);
  // Talk first, then serve the current connection, which may close it and shift the queue.
  Connection* current = m_connections.empty() ? nullptr : &m_connections.front();
  bool serveCurrent = false;
  for (std::size_t i = 0; i < m_polled.size(); ++i) {
    const short revents = fds[m_firstConnection + i].revents;
    Connection& connection = *m_polled[i];
    if (revents & POLLOUT) Talk(connection);
    if (&connection == current) {
      serveCurrent = (revents & (POLLIN | POLLRDHUP | POLLHUP | POLLERR)) != 0;
    } else if (revents & (POLLHUP | POLLERR)) {
      connection.hungUp = true;
      connection.talkLeft = 0;
    }
  }
  if (serveCurrent) {
    if (current->stalled) {
      CloseCurrent("the peer closed the stalled connection");
    } else {
      ReadCurrent();
    }
  } else if (m_currentSilent) {
    ServeFirstReadable(fds, m_firstConnection, m_polled);
  }
  m_polled.clear();
  if (!m_listenerIndex || !(fds[*m_listenerIndex].revents & POLLIN)) return;
  if (acceptsLeft && *acceptsLeft == 0) return;
  const int id = m_nextConnectionId;
  Accept();
  if (acceptsLeft && m_nextConnectionId != id) --*acceptsLeft;
}

void Simulator::Finish() {
  Shutdown(g_stopSignal == SIGINT ? "SIGINT" : g_stopSignal == SIGTERM ? "SIGTERM" : "images judged");
}

int Simulator::Run() { return RunSimulators({this}); }

int RunSimulators(const std::vector<Simulator*>& simulators, std::optional<std::size_t> connectionsAllowed) {
  std::vector<Simulator*> running = simulators;
  std::vector<pollfd> fds;
  std::size_t turn = 0;
  while (!g_stopSignal && !running.empty()) {
    std::size_t acceptsLeft = SIZE_MAX;
    if (connectionsAllowed) {
      std::size_t used = 0;
      for (const Simulator* simulator : running) used += simulator->Connections();
      acceptsLeft = used < *connectionsAllowed ? *connectionsAllowed - used : 0;
    }
    fds.clear();
    std::optional<std::int64_t> due;
    for (Simulator* simulator : running) {
      const auto own = simulator->Prepare(fds, acceptsLeft > 0);
      if (own && (!due || *own < *due)) due = own;
    }
    if (g_wakeFd >= 0) fds.push_back({g_wakeFd, POLLIN, 0});
    const timespec wait{static_cast<time_t>(due.value_or(0) / 1000), static_cast<long>(due.value_or(0) % 1000) * 1000000};
    if (::ppoll(fds.data(), fds.size(), due ? &wait : nullptr, &simulators.front()->WaitMask()) < 0) {
      if (errno == EINTR) continue;
      const std::string error = std::strerror(errno);
      for (Simulator* simulator : running) simulator->m_log.Write(LogRecord("poll_failed").Text("error", error));
      break;
    }
    // Each turn starts with the next printer, so that when descriptors are short every printer's
    // listener gets its share of them.
    const std::size_t count = running.size();
    turn = (turn + 1) % count;
    for (std::size_t k = 0; k < count; ++k) {
      const std::size_t i = (turn + k) % count;
      running[i]->Handle(fds, connectionsAllowed ? &acceptsLeft : nullptr);
    }
    std::erase_if(running, [](Simulator* simulator) {
      if (!simulator->Done()) return false;
      simulator->Finish();
      return true;
    });
  }
  for (Simulator* simulator : running) simulator->Finish();
  return 0;
}

void Simulator::Accept() {
  UniqueFd fd(::accept4(m_listener.fd.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
  if (!fd.Valid()) {
    const int error = errno;
    if (error == EAGAIN || error == EWOULDBLOCK || error == ECONNABORTED || error == EINTR) return;
    m_log.Write(LogRecord("accept_failed").Text("error", std::strerror(error)));
    // Out of descriptors or memory: the connection waits in the backlog until some are free.
    if (error == EMFILE || error == ENFILE || error == ENOBUFS || error == ENOMEM) {
      m_acceptResumes = Clock::now() + std::chrono::milliseconds(kAcceptRestMs);
    }
    return;
  }
  Connection connection;
  connection.id = ++m_nextConnectionId;
  connection.peer = PeerName(fd.Get());
  connection.host = connection.peer.substr(0, connection.peer.rfind(':'));
  connection.fd = std::move(fd);
  connection.talkLeft = m_options.talk;
  connection.lastHeard = Clock::now();
  m_log.Write(LogRecord("connection_opened")
                  .Number("connection", connection.id)
                  .Text("peer", connection.peer)
                  .Flag("waiting", !m_connections.empty()));
  if (!MakeRoomFor(connection.host)) return LogClosed(connection, "too many connections waiting");
  m_connections.push_back(std::move(connection));
  if (m_connections.size() == 1) m_tcpParser.BeginConnection();
}

void Simulator::ReadCurrent() {
  Connection& connection = m_connections.front();
  std::size_t limit = kReadChunk;
  const bool dataNext = m_tcpParser.DataComesNext();
  if (m_options.closeAfter && dataNext) {
    const std::uint64_t left =
        *m_options.closeAfter - std::min<std::uint64_t>(*m_options.closeAfter, m_tcpParser.AreaReceived());
    if (left == 0) return CloseCurrent("close-after");
    limit = static_cast<std::size_t>(std::min<std::uint64_t>(limit, left));
  }
  char buffer[kReadChunk];
  const ssize_t n = ::recv(connection.fd.Get(), buffer, limit, 0);
  if (n == 0) return CloseCurrent("peer closed");
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    return CloseCurrent(std::strerror(errno));
  }
  connection.received += static_cast<std::uint64_t>(n);
  connection.lastHeard = Clock::now();
  m_tcpParser.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), TcpSink());
  if (!m_tcpParser.InAreaData()) return;
  if (m_options.closeAfter && m_tcpParser.AreaReceived() >= *m_options.closeAfter) return CloseCurrent("close-after");
  if (m_options.stall) {
    connection.stalled = true;
    m_log.Write(LogRecord("stalled")
                    .Text("source", "tcp")
                    .Number("connection", connection.id)
                    .Number("bytes", m_tcpParser.AreaReceived()));
  }
}

bool Simulator::Silent(const Connection& connection) {
  return connection.received == 0 && !connection.stalled && !BytesWaiting(connection.fd.Get());
}

bool Simulator::MakeRoomFor(const std::string& host) {
  struct Silence {
    std::size_t count = 0;
    std::size_t oldest = 0;  // index in m_connections
  };
  std::map<std::string_view, Silence> silent;
  for (std::size_t i = 0; i < m_connections.size(); ++i) {
    const Connection& connection = m_connections[i];
    if (!Silent(connection)) continue;
    Silence& peer = silent[connection.host];
    if (peer.count++ == 0 || connection.id < m_connections[peer.oldest].id) peer.oldest = i;
  }
  std::size_t victim;
  const auto own = silent.find(host);
  if (own != silent.end() && own->second.count >= kMaxSilentPerPeer) {
    victim = own->second.oldest;
  } else if (m_connections.size() < kMaxConnections) {
    return true;
  } else if (silent.empty()) {
    return false;
  } else {
    victim = std::max_element(silent.begin(), silent.end(), [](const auto& a, const auto& b) {
               return a.second.count < b.second.count;
             })->second.oldest;
  }
  CloseAt(victim, "too many connections waiting");
  return true;
}

void Simulator::CloseAt(std::size_t index, const std::string& reason) {
  if (index == 0) return CloseCurrent(reason);
  LogClosed(m_connections[index], reason);
  m_connections.erase(m_connections.begin() + static_cast<std::ptrdiff_t>(index));
}

void Simulator::CloseCurrent(const std::string& reason) {
  m_tcpParser.EndConnection(TcpSink());
  LogClosed(m_connections.front(), reason);
  m_connections.pop_front();
  if (!m_connections.empty()) m_tcpParser.BeginConnection();
}

void Simulator::LogClosed(const Connection& connection, const std::string& reason) {
  m_log.Write(LogRecord("connection_closed")
                  .Number("connection", connection.id)
                  .Text("peer", connection.peer)
                  .Number("bytes", static_cast<std::int64_t>(connection.received))
                  .Number("sent", static_cast<std::int64_t>(connection.sent))
                  .Text("reason", reason));
}

// The parser has only been told that a connection began, so another may take its place.
void Simulator::ServeFirstReadable(const std::vector<pollfd>& fds, std::size_t firstConnection,
                                   const std::vector<Connection*>& polled) {
  for (std::size_t i = 0; i < polled.size(); ++i) {
    if (polled[i] == &m_connections.front()) continue;
    if (!(fds[firstConnection + i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    const auto at = std::find_if(m_connections.begin(), m_connections.end(),
                                 [&](const Connection& connection) { return &connection == polled[i]; });
    Connection ready = std::move(*at);
    m_connections.erase(at);
    m_connections.push_front(std::move(ready));
    return;
  }
}

std::optional<std::int64_t> Simulator::CloseIdle() {
  if (m_options.idleTimeoutSeconds == 0) return std::nullopt;
  const auto limit = std::chrono::seconds(m_options.idleTimeoutSeconds);
  const auto now = Clock::now();
  std::optional<std::int64_t> next;
  for (std::size_t i = 0; i < m_connections.size();) {
    Connection& connection = m_connections[i];
    // A stalled connection is silent because the printer stopped reading it; one with bytes
    // unread (waiting its turn, or just made the one served) is waiting for the printer.
    // Asked only once the timeout falls due: it costs a system call per connection and turn.
    if (connection.lastHeard + limit <= now && (connection.stalled || BytesWaiting(connection.fd.Get()))) {
      connection.lastHeard = now;
    }
    if (connection.lastHeard + limit <= now) {
      CloseAt(i, "idle timeout");
      continue;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(connection.lastHeard + limit - now);
    const std::int64_t ms = left.count() + 1;  // never wake a moment too early and spin
    if (!next || ms < *next) next = ms;
    ++i;
  }
  return next;
}

void Simulator::Talk(Connection& connection) {
  const std::string_view bytes = TalkBytes(connection.sent, connection.talkLeft);
  const ssize_t n = ::send(connection.fd.Get(), bytes.data(), bytes.size(), MSG_NOSIGNAL);
  if (n > 0) {
    connection.sent += static_cast<std::uint64_t>(n);
    connection.talkLeft -= static_cast<std::uint64_t>(n);
  } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    connection.talkLeft = 0;  // the peer is gone; reading will tell
  }
}

void Simulator::ReadPty() {
  char buffer[kReadChunk];
  const ssize_t n = ::read(m_pty.master.Get(), buffer, sizeof buffer);
  if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR)) return;
  if (n <= 0) {
    m_ptyBroken = true;
    m_log.Write(LogRecord("pty_failed").Text("error", n == 0 ? "end of file" : std::strerror(errno)));
    return;
  }
  const StreamSink sink = PtySink();
  m_ptyParser.Feed(std::string_view(buffer, static_cast<std::size_t>(n)), sink);
  m_ptyParser.Flush(sink);
  if (m_options.stall && m_ptyParser.InAreaData()) {
    m_ptyStalled = true;
    m_log.Write(
        LogRecord("stalled").Text("source", "pty").Null("connection").Number("bytes", m_ptyParser.AreaReceived()));
  }
}

void Simulator::TalkPty() {
  const std::string_view bytes = TalkBytes(m_ptyTalkSent, m_ptyTalkLeft);
  const ssize_t n = ::write(m_pty.master.Get(), bytes.data(), bytes.size());
  if (n > 0) {
    m_ptyTalkSent += static_cast<std::uint64_t>(n);
    m_ptyTalkLeft -= static_cast<std::uint64_t>(n);
  } else if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) {
    m_ptyTalkLeft = 0;
  }
}

// Ends the run: open connections are closed (an area cut short is logged), an image waiting for
// its area 2 is judged.
void Simulator::Shutdown(const std::string& reason) {
  while (!m_connections.empty()) CloseCurrent("exit");
  if (m_pty.master.Valid()) m_ptyParser.EndConnection(PtySink());
  if (m_usb) m_usb->Shutdown();
  m_session.Finish();
  m_log.Write(LogRecord("exit").Text("reason", reason));
}

}  // namespace corvelle::printersim
