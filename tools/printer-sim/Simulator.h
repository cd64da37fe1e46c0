// SPDX-License-Identifier: MIT
// The simulator's I/O: serves TCP connections one after another, the pseudo-terminal and the
// virtual USB bridge (UsbEndpoint), feeds what they carry to a stream parser each, closes TCP
// connections that stay silent past the idle timeout, and applies the fault options. One
// thread, one ppoll for any number of simulators; SIGINT and SIGTERM are only let through while
// it waits.
#pragma once

#include <poll.h>

#include <chrono>
#include <csignal>
#include <cstdint>
#include <deque>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "printer-sim/Endpoints.h"
#include "printer-sim/EventLog.h"
#include "printer-sim/PrinterSession.h"
#include "printer-sim/SimOptions.h"
#include "printer-sim/StreamParser.h"
#include "printer-sim/UsbEndpoint.h"

namespace corvelle::printersim {

class Simulator;
int RunSimulators(const std::vector<Simulator*>& simulators, std::optional<std::size_t> connectionsAllowed);

class Simulator {
 public:
  Simulator(const SimOptions& options, EventLog& log);

  // Blocks SIGINT and SIGTERM (they are taken while waiting), opens the listener, the
  // pseudo-terminal and the USB socket as asked, and prints "tcp ADDRESS:PORT" / "pty PATH" /
  // "usb SOCKET" on stdout.
  bool Start(std::string* error) {
    if (!Open(error)) return false;
    PrintAddresses();
    LogListening();
    return true;
  }
  // Start in parts, so that several printers in one process print every address line before the
  // first log record: the signals and the ways in, the address lines, the first log records.
  bool Open(std::string* error);
  void PrintAddresses();
  void LogListening();
  // Serves until a signal or --exit-after-images; the exit status.
  int Run();

  // One turn of the event loop in two halves, so that one thread can wait for many simulators in
  // one ppoll (RunSimulators): Prepare appends what this one waits for to `fds` (the listener only
  // when `mayAccept`) and returns the milliseconds until it needs a turn anyway (nullopt: only on
  // an event); Handle acts on the answers to those entries, accepting a new connection only while
  // `acceptsLeft` (when given) is above zero, and counting each accepted one off it.
  std::optional<std::int64_t> Prepare(std::vector<pollfd>& fds, bool mayAccept = true);
  void Handle(const std::vector<pollfd>& fds, std::size_t* acceptsLeft = nullptr);
  // Whether --exit-after-images has been reached; Finish then closes what is open and logs the exit.
  bool Done() const { return m_session.Done(); }
  void Finish();
  // Connections held open now (the one served and those waiting), each a descriptor.
  std::size_t Connections() const { return m_connections.size(); }

  // The stop signal's wake-up descriptor and the signal mask to wait with, shared by every
  // simulator in the process.
  static int WakeFd();
  const sigset_t& WaitMask() const { return m_waitMask; }

 private:
  using Clock = std::chrono::steady_clock;

  struct Connection {
    UniqueFd fd;
    Clock::time_point lastHeard;  // accepted, or its last bytes read
    int id = 0;
    std::string peer;
    std::string host;  // the peer's address without its port
    std::uint64_t received = 0;
    std::uint64_t talkLeft = 0;
    std::uint64_t sent = 0;
    bool stalled = false;
    bool hungUp = false;  // while waiting: the peer is gone, nothing to poll for
  };

  void LogTcpListening();
  // Starts listening once a refusing printer's time is up; until then the milliseconds left.
  std::optional<std::int64_t> ListenWhenDue();
  void Accept();
  void ReadCurrent();
  // Whether a connection has sent nothing yet: neither read from nor with bytes waiting.
  static bool Silent(const Connection& connection);
  // Room for a new connection from `host`. A peer keeps at most 16 silent connections: its oldest
  // silent one gives way to the new one, so that a flood from one address neither starves other
  // peers nor shuts out a client of its own that goes on to send. Past the cap on all connections
  // the oldest silent one of the peer holding most of them gives way; false (the new one is
  // refused) when none is silent.
  bool MakeRoomFor(const std::string& host);
  void CloseAt(std::size_t index, const std::string& reason);  // index 0: the one served
  void CloseCurrent(const std::string& reason);
  // While the connection served has sent nothing, the first waiting one that has bytes (or has
  // hung up) is served instead, so a silent client holds up nobody.
  void ServeFirstReadable(const std::vector<pollfd>& fds, std::size_t firstConnection,
                          const std::vector<Connection*>& polled);
  // Closes every connection silent for the idle timeout; the milliseconds until the next one
  // falls due, none without connections that can time out.
  std::optional<std::int64_t> CloseIdle();
  void LogClosed(const Connection& connection, const std::string& reason);
  void Talk(Connection& connection);
  void ReadPty();
  void TalkPty();
  void Shutdown(const std::string& reason);
  StreamSink TcpSink();
  StreamSink PtySink();

  const SimOptions& m_options;
  EventLog& m_log;
  PrinterSession m_session;
  sigset_t m_waitMask{};

  Listener m_listener;
  // While set, the listener is bound but not listening (--refuse-first): connects are refused.
  std::optional<Clock::time_point> m_listensAt;
  // Out of descriptors the listener stays readable: accepting rests until then instead of
  // spinning on the same failure.
  std::optional<Clock::time_point> m_acceptResumes;
  // Front: the connection being served; the rest wait their turn in arrival order.
  std::deque<Connection> m_connections;
  StreamParser m_tcpParser{StreamParser::Framing::Connections};
  int m_nextConnectionId = 0;

  PseudoTerminal m_pty;
  StreamParser m_ptyParser{StreamParser::Framing::Serial};
  std::uint64_t m_ptyTalkLeft = 0;
  std::uint64_t m_ptyTalkSent = 0;
  bool m_ptyStalled = false;
  bool m_ptyBroken = false;

  std::unique_ptr<UsbEndpoint> m_usb;

  // Where Prepare put this simulator's entries, for Handle.
  std::optional<std::size_t> m_listenerIndex;
  std::size_t m_ptyIndex = 0;
  std::size_t m_usbIndex = 0;
  std::size_t m_firstConnection = 0;
  std::vector<Connection*> m_polled;
  bool m_currentSilent = false;

  friend int RunSimulators(const std::vector<Simulator*>&, std::optional<std::size_t>);
};

// Serves every simulator in `simulators` from this thread, in one ppoll, until a signal or until
// each has reached --exit-after-images. With `connectionsAllowed`, no more connections than that
// are held at once in all: the others wait in their listener's backlog until one closes, so that
// descriptors stay for logs and stored images.
int RunSimulators(const std::vector<Simulator*>& simulators, std::optional<std::size_t> connectionsAllowed = {});

}  // namespace corvelle::printersim
