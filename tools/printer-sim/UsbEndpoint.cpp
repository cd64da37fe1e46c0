// SPDX-License-Identifier: MIT
// The simulator's virtual USB bridge endpoint.
#include "printer-sim/UsbEndpoint.h"

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace corvelle::printersim {
namespace {

constexpr std::size_t kReadChunk = 64 * 1024;
constexpr std::size_t kMaxWaiting = 16;

bool Address(const std::string& path, sockaddr_un& address, std::string* error) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) {
    *error = "the USB socket path must have 1 to " + std::to_string(sizeof address.sun_path - 1) + " bytes";
    return false;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

UsbEndpoint::UsbEndpoint(const SimOptions& options, EventLog& log, PrinterSession& session)
    : m_options(options), m_log(log), m_session(session) {}

UsbEndpoint::~UsbEndpoint() {
  if (m_ownsPath) ::unlink(m_options.usbSocket.c_str());
}

bool UsbEndpoint::Open(std::string* error) {
  const std::string& path = m_options.usbSocket;
  sockaddr_un address;
  if (!Address(path, address, error)) return false;
  struct stat info {};
  if (::lstat(path.c_str(), &info) == 0) {
    if (!S_ISSOCK(info.st_mode)) {
      *error = "cannot listen on " + path + ": it exists and is no socket";
      return false;
    }
    UniqueFd probe(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
    if (probe.Valid() && ::connect(probe.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0) {
      *error = "cannot listen on " + path + ": another program is listening there";
      return false;
    }
    ::unlink(path.c_str());
  }
  UniqueFd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  if (!fd.Valid() || ::bind(fd.Get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    *error = "cannot listen on " + path + ": " + std::strerror(errno);
    return false;
  }
  m_ownsPath = true;
  if (::listen(fd.Get(), 16) != 0) {
    *error = "cannot listen on " + path + ": " + std::strerror(errno);
    return false;
  }
  m_listener = std::move(fd);
  m_log.Write(LogRecord("listening").Text("transport", "usb").Text("path", path));
  return true;
}

StreamSink UsbEndpoint::Sink() {
  return [this](const StreamEvent& event) {
    m_session.OnStreamEvent(event, StreamSource{"usb", 0});
    if (event.kind == StreamEventKind::Announcement) m_xoffArmed = m_options.usbXoffAfter.has_value();
  };
}

void UsbEndpoint::AddPollFds(std::vector<pollfd>& fds) const {
  fds.push_back({m_listener.Get(), POLLIN, 0});
  fds.push_back({m_connections.empty() ? -1 : m_connections.front().fd.Get(), POLLIN, 0});
}

void UsbEndpoint::Serve(const pollfd* fds) {
  if (m_xonAt && Clock::now() >= *m_xonAt) {
    m_xonAt.reset();
    SendFlow(kXon);
  }
  if (fds[1].fd >= 0 && (fds[1].revents & (POLLIN | POLLHUP | POLLERR))) ReadCurrent();
  if (fds[0].fd >= 0 && (fds[0].revents & POLLIN)) Accept();
}

std::optional<std::int64_t> UsbEndpoint::MsToNextEvent() const {
  if (!m_xonAt) return std::nullopt;
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(*m_xonAt - Clock::now()).count();
  return std::max<std::int64_t>(left, 0);
}

void UsbEndpoint::Accept() {
  UniqueFd fd(::accept4(m_listener.Get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC));
  if (!fd.Valid()) return;
  Connection connection;
  connection.id = ++m_nextId;
  connection.fd = std::move(fd);
  m_log.Write(LogRecord("usb_opened").Number("connection", connection.id).Flag("waiting", !m_connections.empty()));
  if (m_connections.size() >= kMaxWaiting) {
    m_log.Write(LogRecord("usb_closed")
                    .Number("connection", connection.id)
                    .Number("bytes", 0)
                    .Text("reason", "too many connections waiting"));
    return;
  }
  m_connections.push_back(std::move(connection));
}

void UsbEndpoint::ReadCurrent() {
  Connection& connection = m_connections.front();
  char buffer[kReadChunk];
  const ssize_t n = ::recv(connection.fd.Get(), buffer, sizeof buffer, 0);
  if (n == 0) return CloseCurrent("host closed");
  if (n < 0) {
    if (errno == EAGAIN || errno == EWOULDBLOCK || errno == EINTR) return;
    return CloseCurrent(std::strerror(errno));
  }
  connection.received += static_cast<std::uint64_t>(n);
  Feed(std::string_view(buffer, static_cast<std::size_t>(n)));
}

// Feeds the parser in pieces that end where a fault falls due, so XOFF goes out and the device
// goes away exactly after the byte that was asked for.
void UsbEndpoint::Feed(std::string_view bytes) {
  const StreamSink sink = Sink();
  const bool faults = m_options.usbXoffAfter || m_options.usbUnplugAfter;
  while (!bytes.empty()) {
    std::size_t piece = bytes.size();
    if (faults && !m_parser.InAreaData()) piece = 1;  // an announcement may start the area in this read
    if (m_parser.InAreaData()) {
      const std::uint64_t received = m_parser.AreaReceived();
      for (const auto& due : {m_xoffArmed ? m_options.usbXoffAfter : std::nullopt,
                              m_unplugged ? std::nullopt : m_options.usbUnplugAfter}) {
        if (due && *due > received) piece = std::min<std::uint64_t>(piece, *due - received);
      }
    }
    m_parser.Feed(bytes.substr(0, piece), sink);
    bytes.remove_prefix(piece);
    if (!m_parser.InAreaData()) continue;
    const std::uint64_t received = m_parser.AreaReceived();
    if (m_options.usbUnplugAfter && !m_unplugged && received >= *m_options.usbUnplugAfter) return Unplug();
    if (m_xoffArmed && received >= *m_options.usbXoffAfter) {
      m_xoffArmed = false;
      SendFlow(kXoff);
      if (m_options.usbXoffForMs) m_xonAt = Clock::now() + std::chrono::milliseconds(*m_options.usbXoffForMs);
    }
  }
  m_parser.Flush(sink);
}

void UsbEndpoint::SendFlow(char byte) {
  bool delivered = false;
  if (!m_connections.empty()) {
    delivered = ::send(m_connections.front().fd.Get(), &byte, 1, MSG_NOSIGNAL | MSG_DONTWAIT) == 1;
  }
  m_log.Write(
      LogRecord(byte == kXoff ? "xoff" : "xon").Number("bytes", m_parser.AreaReceived()).Flag("delivered", delivered));
}

void UsbEndpoint::CloseCurrent(const std::string& reason) {
  m_parser.Flush(Sink());
  const Connection& connection = m_connections.front();
  m_log.Write(LogRecord("usb_closed")
                  .Number("connection", connection.id)
                  .Number("bytes", static_cast<std::int64_t>(connection.received))
                  .Text("reason", reason));
  m_connections.pop_front();
}

// The bridge is pulled out: the socket goes first, so that once the host sees its bridge hang up
// the stand-in no longer lists the device; then its connections end and the area being received
// is cut short.
void UsbEndpoint::Unplug() {
  m_unplugged = true;
  m_xonAt.reset();
  m_listener = UniqueFd();
  if (m_ownsPath) ::unlink(m_options.usbSocket.c_str());
  m_ownsPath = false;
  m_log.Write(LogRecord("usb_unplugged").Number("bytes", m_parser.AreaReceived()));
  while (!m_connections.empty()) CloseCurrent("unplugged");
  m_parser.EndConnection(Sink());
}

void UsbEndpoint::Shutdown() {
  while (!m_connections.empty()) CloseCurrent("exit");
  m_parser.EndConnection(Sink());
}

}  // namespace corvelle::printersim
