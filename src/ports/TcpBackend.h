// SPDX-License-Identifier: MIT
// The TCP/IP kind: a reachability test, then a stream connection to the printer with a
// 4096-byte output buffer in front of it.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "ports/ClientSocket.h"
#include "ports/OutputWait.h"
#include "ports/PortBackend.h"

namespace corvelle {

// Whether a message this kind showed tells of a failure that may pass by itself, so that the same
// download a while later may well succeed: no echo reply, a connect that failed (refused, timed
// out, no route), or a connection lost while sending (reset, closed, the slow-link time-out).
// Not so a socket the system would not give, an echo the user may not send, or anything else.
bool FailureMayPass(std::string_view message);

class TcpBackend : public PortBackend {
 public:
  static constexpr std::size_t kOutputBufferBytes = 4096;
  // How long unsent data may sit without any of it leaving before the printer counts as gone,
  // in a write, a drain or the close (the linger time).
  static constexpr std::int64_t kLingerMs = kOutputStallMs;

  explicit TcpBackend(PortContext& context);
  ~TcpBackend() override;

  Outcome Open(const PortOpenArgs& args) override;
  // Fills the output buffer; a full buffer is sent. Fails once the connection is gone.
  Outcome Write(const std::uint8_t* bytes, std::size_t count) override;
  // Reads what the printer sent, when the buffer has just been sent (or is empty).
  void PumpEvents() override;
  // Sends the rest of the buffer and waits until the printer has taken every byte, as long as it
  // keeps taking them (kLingerMs without progress fail it, like a failed write).
  Outcome DrainOutput() override;
  // DrainOutput, with the end of the output sent behind the last bytes.
  Outcome FinishOutput() override;
  // The output buffer and the socket's unsent bytes. The socket is asked once after each send
  // and each wait: in between the count can only fall, so the one read last never credits the
  // printer with more than it took, and writes that only fill the buffer cost no system call.
  long QueuedOutput() override;
  // Sends the rest of the buffer, stops receiving, lets the send queue empty as long as it keeps
  // emptying (sleeping on the host; STOP ends it), then closes. A printer that resets or closes
  // the connection before it has taken everything, or takes nothing for kLingerMs, has lost
  // bytes: that fails like a failed write, unless STOP ended it.
  Outcome Close() override;

  // The connection of the current open, or null.
  const CClientSocket* Socket() const { return m_pSocket.get(); }

 private:
  // Reads what the printer sent; a failed read is shown as "Error number is N" and ends nothing:
  // a printer that went away fails the next write.
  void Receive();
  Outcome Flush();
  // The loss of the connection, said once per open: all later writes fail quietly.
  Outcome Lost(int error);
  Outcome Drain(bool endOutput);

  PortContext& m_context;
  std::unique_ptr<CClientSocket> m_pSocket;
  std::string m_buffer;
  std::optional<long> m_unsent;  // the socket's unsent count, as read since the last send or wait
  bool m_lost = false;
};

}  // namespace corvelle
