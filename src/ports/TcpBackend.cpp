// SPDX-License-Identifier: MIT
// TCP/IP connection to the printer.
#include "ports/TcpBackend.h"

#include <cerrno>
#include <cstdio>

#include "base/Host.h"
#include "ports/OutputWait.h"
#include "ports/PortEnvironment.h"
#include "ports/echo/EchoProbe.h"
#include "resources/Strings.h"

namespace corvelle {
namespace {

// The two ways a connection is reported lost while sending, each followed by the same line.
constexpr std::string_view kPeerClosedText = "TCP/IP - The printer closed the connection";
constexpr std::string_view kSendFailedText = "TCP/IP - Sending to the printer failed: ";
constexpr std::string_view kTransferStoppedText = ".\nThe transfer was stopped.";

// "%s %d." of a string-table text and an error number.
std::string WithErrorNumber(int id, int error) {
  char text[256];
  std::snprintf(text, sizeof text, "%s %d.", std::string(LoadStr(id)).c_str(), error);
  return text;
}

// The process or the system has no descriptor left for another socket.
bool OutOfDescriptors(int error) { return error == EMFILE || error == ENFILE; }

// The detail line of a socket that could not be made for want of descriptors.
std::string NoDescriptorDetail(const std::string& what, int error) {
  return what + ": too many open files (" + std::string(error == ENFILE ? "the system's" : "this program's") +
         " open-file limit is reached)";
}

}  // namespace

bool FailureMayPass(std::string_view message) {
  return message == LoadStr(IDS_TCPIP_NOT_RESPONDING) || message.starts_with(LoadStr(IDS_CONNECT_FAILED)) ||
         message.starts_with(kPeerClosedText) || message.starts_with(kSendFailedText);
}

TcpBackend::TcpBackend(PortContext& context) : m_context(context) {}

TcpBackend::~TcpBackend() = default;

Outcome TcpBackend::Open(const PortOpenArgs& args) {
  const auto& reachable = m_context.env.reachable;
  const StopSignal* stop = m_context.host.Stop();
  // Without the echo test (ICMP dropped on the way) the connect's own time-out and refusal decide.
  const int probeError = !args.echoTest ? 0
                         : reachable    ? (reachable(args.ipAddress) ? 0 : ETIMEDOUT)
                                        : ProbeReachability(args.ipAddress, ProbeStopHandle(stop));
  if (probeError != 0) {
    // STOP during the probe ends the open without a message: the caller reports the stop.
    if (m_context.Cancelled()) return Outcome::Stop();
    if (OutOfDescriptors(probeError)) {
      // The printer was never asked: saying it does not respond would send the user to the wrong place.
      return Outcome::Failure(WithErrorNumber(IDS_SOCKET_ALLOC_FAILED, probeError), MessageStyle::Plain,
                              NoDescriptorDetail("the echo test's socket for " + args.ipAddress, probeError));
    }
    if (probeError == EACCES) return Outcome::Failure(kEchoNotPermittedText);
    return Outcome::Failure(std::string(LoadStr(IDS_TCPIP_NOT_RESPONDING)), MessageStyle::Plain,
                            "no echo reply from " + args.ipAddress + ": " + ReachabilityErrorText(probeError));
  }
  m_pSocket = std::make_unique<CClientSocket>(m_context.host);
  if (const Outcome created = m_pSocket->Create(); !created) {
    m_pSocket.reset();
    const int error = created.system;
    return Outcome::Failure(WithErrorNumber(IDS_SOCKET_ALLOC_FAILED, error), MessageStyle::Plain,
                            OutOfDescriptors(error) ? NoDescriptorDetail("the connection to " + args.ipAddress, error) : "");
  }
  if (const Outcome connected = m_pSocket->Connect(args.ipAddress, args.ipPort, [this] { return m_context.Cancelled(); });
      !connected) {
    m_pSocket.reset();
    if (connected.Stopped()) return connected;
    return Outcome::Failure(WithErrorNumber(IDS_CONNECT_FAILED, connected.system), MessageStyle::Plain,
                            args.ipAddress + " port " + std::to_string(args.ipPort) + ": " +
                                CClientSocket::ErrorText(connected.system));
  }
  m_pSocket->SetOptions();
  m_buffer.reserve(kOutputBufferBytes);
  m_unsent.reset();
  return {};
}

Outcome TcpBackend::Write(const std::uint8_t* bytes, std::size_t count) {
  if (!m_pSocket || m_lost) return Outcome::Quiet();
  // The printer's close was seen when its replies were last read (PumpEvents, or a wait).
  if (m_pSocket->PeerClosed()) return Lost(EPIPE);
  while (count > 0) {
    const std::size_t room = kOutputBufferBytes - m_buffer.size();
    const std::size_t take = count < room ? count : room;
    m_buffer.append(reinterpret_cast<const char*>(bytes), take);
    bytes += take;
    count -= take;
    if (m_buffer.size() == kOutputBufferBytes) {
      if (Outcome flushed = Flush(); !flushed) return flushed;
    }
  }
  return {};
}

void TcpBackend::Receive() {
  const Outcome received = m_pSocket->PollReceive();
  if (!received) m_context.host.ShowMessage("Error number is " + std::to_string(received.system), MessageStyle::Plain);
}

void TcpBackend::PumpEvents() {
  // While the buffer fills nothing is sent, and the printer answers what it was sent: its
  // replies are read once per buffer sent, not once per write.
  if (m_pSocket && m_buffer.empty()) Receive();
}

Outcome TcpBackend::Flush() {
  if (m_buffer.empty()) return {};
  CClientSocket& socket = *m_pSocket;
  const auto send = [&socket](const std::uint8_t* data, std::size_t size) -> ssize_t {
    return socket.SendSome(data, size);
  };
  m_unsent.reset();
  const Outcome written =
      WriteAll(m_context, socket.Descriptor(), reinterpret_cast<const std::uint8_t*>(m_buffer.data()), m_buffer.size(), send,
               [this] {
                 m_unsent.reset();
                 Receive();
               },
               kLingerMs);
  m_unsent.reset();
  m_buffer.clear();
  if (!written.Failed()) return written;
  return Lost(written.system);
}

Outcome TcpBackend::DrainOutput() { return Drain(false); }
Outcome TcpBackend::FinishOutput() { return Drain(true); }

Outcome TcpBackend::Drain(bool endOutput) {
  if (!m_pSocket || m_lost) return Outcome::Quiet();
  if (Outcome flushed = Flush(); !flushed) return flushed;
  if (endOutput) m_pSocket->EndOutput();
  const Outcome sent = m_pSocket->WaitUntilSent(kLingerMs, [this] { return m_context.Cancelled(); }, [this] {
    m_unsent.reset();
    Receive();
    m_context.OutputWaited();
  });
  m_unsent.reset();
  if (!sent.Failed()) return sent;
  return Lost(sent.system);
}

long TcpBackend::QueuedOutput() {
  if (!m_pSocket) return 0;
  if (!m_unsent) m_unsent = m_pSocket->Unsent();
  return static_cast<long>(m_buffer.size()) + *m_unsent;
}

Outcome TcpBackend::Lost(int error) {
  m_lost = true;
  m_buffer.clear();
  std::string text;
  if (error == EPIPE || error == ECONNRESET) {
    text = std::string(kPeerClosedText) + std::string(kTransferStoppedText);
  } else {
    text = std::string(kSendFailedText) + CClientSocket::ErrorText(error) + std::string(kTransferStoppedText);
  }
  return Outcome::Failure(text);
}

Outcome TcpBackend::Close() {
  if (!m_pSocket) return {};
  // A connection lost before or while the rest of the buffer goes has lost bytes; a flush that
  // STOP ended closes like one that was not needed.
  Outcome closed = m_lost ? Outcome::Quiet() : Flush();
  if (closed.Stopped()) closed = {};
  if (m_lost) {
    m_pSocket->Discard();
  } else {
    const Outcome sent =
        m_pSocket->CloseWhenSent(kLingerMs, [this] { return m_context.Cancelled(); }, [this] { Receive(); });
    if (!sent && !m_context.Cancelled()) closed = Lost(sent.system);
  }
  m_pSocket.reset();
  return closed;
}

}  // namespace corvelle
