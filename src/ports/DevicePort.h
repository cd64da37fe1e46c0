// SPDX-License-Identifier: MIT
// The one object through which every byte reaches a printer or an output file. The kind of
// connection follows from the port name at each Open; one object may be opened and closed many
// times.
//
// Contract:
// - Open, Write, DrainOutput, FinishOutput and Close return why they failed, and show nothing:
//   the caller says the outcome once (Host::Show). A quiet failure (Outcome::Quiet) has nothing
//   to say: a cancelled FILE save dialog, or a failure already returned in this open. Stopped
//   means the cancel check ended a wait (a connect, a probe, a FIFO's reader, a write).
//   A name that reaches no port (see IsKnownPortName) is refused with a message naming it.
// - Write and WriteText never drop bytes: they return once the connection has taken all of them
//   (a serial write does not wait for transmission). A failure means the bytes could not be
//   delivered or the cancel check was raised while the write was waiting; the caller should then
//   stop its transfer.
// - DrainOutput waits until what was written has left: the serial output queue is empty, the
//   TCP/IP printer has taken every byte. It waits as long as the queue keeps falling; it fails
//   when cancelled, or when nothing left for 10 s or the connection was lost. It succeeds at once
//   for the other kinds.
// - FinishOutput is DrainOutput when Close follows and nothing more is written: the TCP/IP
//   printer is told then that the output has ended.
// - Close may still wait for the connection to hand on what it holds; it fails when it found
//   that some of it was lost, so the transfer did not arrive whole.
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

  Outcome Open(PortOpenArgs args);
  Outcome Write(const void* bytes, std::size_t count);
  // Sends the characters of a zero-terminated text, without the terminator.
  Outcome WriteText(const char* text);
  // Discards what is queued in either direction (COM, USB); nothing for the other kinds.
  void Purge();
  Outcome DrainOutput();
  Outcome FinishOutput();
  Outcome Close();
  // Lets waiting events run now: the host's, and what the connection has received.
  void PumpMessages();

  // Bytes written that the printer has not taken yet: the serial output queue, the TCP/IP output
  // buffer and unsent socket bytes (0 for the other kinds and when closed).
  long QueuedOutput();
  // STOP: when `cancelled` returns true, waits inside Write and DrainOutput end, stopped.
  void SetCancelCheck(std::function<bool()> cancelled);
  // Runs at every step of a wait for output to leave, inside Write and DrainOutput.
  void SetOutputWatch(std::function<void()> watch);
  // Asked with each output file a FILE save dialog answers, before it is opened; its failure is
  // the open's.
  void SetOutputChosen(std::function<Outcome(const std::string& path)> chosen);

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
