// SPDX-License-Identifier: MIT
// The simulator's virtual USB bridge: a Unix socket on which the stand-in libusb delivers the
// bytes a host writes to the bridge. They are read as one serial stream, as the pseudo-terminal's
// are, across the host's opens and closes; XOFF (19) and XON (17) go back to the open bridge.
// Faults: XOFF after so many data bytes of an area (and XON after a hold), and the device pulled
// out after so many, which closes the connection and removes the socket.
#pragma once

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "base/UniqueFd.h"
#include "printer-sim/EventLog.h"
#include "printer-sim/PrinterSession.h"
#include "printer-sim/SimOptions.h"
#include "printer-sim/StreamParser.h"

namespace corvelle::printersim {

inline constexpr char kXon = 17;
inline constexpr char kXoff = 19;

class UsbEndpoint {
 public:
  UsbEndpoint(const SimOptions& options, EventLog& log, PrinterSession& session);
  ~UsbEndpoint();
  UsbEndpoint(const UsbEndpoint&) = delete;
  UsbEndpoint& operator=(const UsbEndpoint&) = delete;

  // Listens on options.usbSocket; a stale socket left there is replaced, one in use or any
  // other file is not. False with the reason.
  bool Open(std::string* error);
  const std::string& Path() const { return m_options.usbSocket; }

  // Appends what to poll for; Serve takes the same entries back with their results.
  void AddPollFds(std::vector<pollfd>& fds) const;
  void Serve(const pollfd* fds);
  // Milliseconds until a held XOFF is to end, or nullopt.
  std::optional<std::int64_t> MsToNextEvent() const;
  // The run ends: the open bridge is closed and an area cut short ends.
  void Shutdown();

 private:
  struct Connection {
    UniqueFd fd;
    int id = 0;
    std::uint64_t received = 0;
  };
  using Clock = std::chrono::steady_clock;

  void Accept();
  void ReadCurrent();
  void Feed(std::string_view bytes);
  void CloseCurrent(const std::string& reason);
  void SendFlow(char byte);
  void Unplug();
  StreamSink Sink();

  const SimOptions& m_options;
  EventLog& m_log;
  PrinterSession& m_session;
  UniqueFd m_listener;
  bool m_ownsPath = false;
  // Front: the bridge the host has open; a later open waits until it is closed.
  std::deque<Connection> m_connections;
  int m_nextId = 0;
  StreamParser m_parser{StreamParser::Framing::Serial};
  bool m_xoffArmed = false;  // the current area has not yet had its XOFF
  std::optional<Clock::time_point> m_xonAt;
  bool m_unplugged = false;
};

}  // namespace corvelle::printersim
