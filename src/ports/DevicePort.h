// SPDX-License-Identifier: MIT
// The one object through which every byte reaches a printer or an output file. The kind of
// connection follows from the port name at each Open; one object may be opened and closed many
// times.
//
// Contract:
// - Open reports every failure to the user itself (through the host) and returns false; the only
//   silent false is a cancelled FILE save dialog (or a wait for a FIFO's reader ended by STOP).
//   A name that reaches no port (see IsKnownPortName) is refused with a message naming it.
// - Write and WriteText never drop bytes: they return once the connection has taken all of them
//   (a serial write does not wait for transmission). False means the bytes could not be
//   delivered (already reported to the user, once per open) or the cancel check was raised while
//   the write was waiting; the caller should then stop its transfer.
// - DrainOutput waits until what was written has left: the serial output queue is empty, the
//   TCP/IP printer has taken every byte. It waits as long as the queue keeps falling; false when
//   cancelled, or when nothing left for 10 s or the connection was lost (reported to the user).
//   It returns true at once for the other kinds.
// - FinishOutput is DrainOutput when Close follows and nothing more is written: the TCP/IP
//   printer is told then that the output has ended.
// - Close may still wait for the connection to hand on what it holds; false when it found that
//   some of it was lost (reported to the user), so the transfer did not arrive whole.
// - Every write and wait lets the surroundings run (Host::PumpMessages, Host::WaitFor,
//   Host::WaitForFd), so handlers such as STOP run inside these calls.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>
#include <string>

#include "ports/PortBackend.h"
#include "ports/PortEnvironment.h"
#include "ports/PortTypes.h"

namespace corvelle {

class Host;

class CDevicePort {
 public:
  CDevicePort(Host& host, PortEnvironment env);
  ~CDevicePort();
  CDevicePort(const CDevicePort&) = delete;
  CDevicePort& operator=(const CDevicePort&) = delete;

  bool Open(PortOpenArgs args);
  bool Write(const void* bytes, std::size_t count);
  // Sends the characters of a zero-terminated text, without the terminator.
  bool WriteText(const char* text);
  // Discards what is queued in either direction (COM, USB); nothing for the other kinds.
  void Purge();
  bool DrainOutput();
  bool FinishOutput();
  bool Close();
  // Lets waiting events run now: the host's, and what the connection has received.
  void PumpMessages();

  // Bytes written that the printer has not taken yet: the serial output queue, the TCP/IP output
  // buffer and unsent socket bytes (0 for the other kinds and when closed).
  long QueuedOutput();
  // STOP: when `cancelled` returns true, waits inside Write and DrainOutput end and return false.
  void SetCancelCheck(std::function<bool()> cancelled);
  // Runs at every step of a wait for output to leave, inside Write and DrainOutput.
  void SetOutputWatch(std::function<void()> watch);

  // The kind chosen by the last Open whose name reached a port; None until then.
  PortKind Kind() const { return m_kind; }
  const std::string& PortName() const { return m_portName; }
  bool IsOpen() const { return m_open; }
  // The connection of the current open, or null (tests look at a kind's own state through it).
  PortBackend* Backend() { return m_backend.get(); }

 private:
  PortEnvironment m_env;
  PortContext m_context;
  PortKind m_kind = PortKind::None;
  std::string m_portName;
  std::unique_ptr<PortBackend> m_backend;
  bool m_open = false;
};

}  // namespace corvelle
