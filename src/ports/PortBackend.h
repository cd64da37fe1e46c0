// SPDX-License-Identifier: MIT
// One connection kind behind CDevicePort, and what a kind gets from the port it serves.
// The downloads' tests plug a fake printer in here (see PortEnvironment::backendFactory).
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "base/Host.h"
#include "ports/PortTypes.h"

namespace corvelle {

struct PortEnvironment;

// What every kind needs from its port: the surroundings, the environment, and the cancel check
// (STOP) that ends its waits. The host's own STOP (Ctrl-C, a termination signal) ends them too,
// from the first open on. Owned by the port; lives as long as the port does.
struct PortContext {
  Host& host;
  const PortEnvironment& env;
  std::function<bool()> cancelCheck;
  // Runs at every step of a wait for output to leave (a queue wait, a write the connection takes
  // only partly), so the caller can show how far the printer has got meanwhile.
  std::function<void()> outputWatch = {};
  // Asked with each output file a save dialog answers, before it is opened; a failure ends the
  // open with that outcome (the download holds each file it writes, as it holds a printer).
  std::function<Outcome(const std::string& path)> outputChosen = {};

  bool Cancelled() const { return host.StopRequested() || (cancelCheck && cancelCheck()); }
  void OutputWaited() const {
    if (outputWatch) outputWatch();
  }
};

// One open connection of one kind. CDevicePort makes a new backend for every Open and destroys
// it after Close; a backend that is destroyed while open releases what it holds.
class PortBackend {
 public:
  virtual ~PortBackend() = default;

  // Every operation that can fail returns why: a failure's message for the user (said by the
  // caller), Outcome::Quiet() when there is nothing more to say (a cancelled dialog, a failure
  // already returned once in this open), Outcome::Stop() when the cancel check ended a wait.

  // Makes the connection ready for writing.
  virtual Outcome Open(const PortOpenArgs& args) = 0;
  // Hands `count` bytes to the connection; never drops any of them. Fails when they cannot be
  // delivered or when the cancel check was raised while waiting.
  virtual Outcome Write(const std::uint8_t* bytes, std::size_t count) = 0;
  // Discards what is queued in either direction; nothing for kinds without queues.
  virtual void Purge() {}
  // Waits until what was written has left: the serial output queue is empty, the TCP/IP printer
  // has taken every byte. It waits as long as the queue keeps falling. Fails when cancelled, or
  // when the queue stopped moving or the connection was lost.
  virtual Outcome DrainOutput() { return {}; }
  // DrainOutput when nothing more is to be written before Close: the TCP/IP kind ends its output
  // first (the end goes right behind the last bytes, as a lingering close sends it), so the
  // printer acknowledges them at once rather than after its delayed-acknowledgement timer.
  virtual Outcome FinishOutput() { return DrainOutput(); }
  // Bytes written that the printer has not taken yet (the serial queue; for TCP/IP the output
  // buffer and the socket's unsent bytes); 0 for kinds whose queue cannot be seen.
  virtual long QueuedOutput() { return 0; }
  // Handles what the connection has received meanwhile (the TCP/IP kind reads and counts it).
  virtual void PumpEvents() {}
  // Ends the connection. Fails when it found that the connection had lost bytes it was still
  // holding: what was written may not all have arrived.
  virtual Outcome Close() = 0;
};

// Makes the backend for a kind (never called for None). Returning null makes the open fail
// silently, so a factory that knows the kind must always return one.
using PortBackendFactory = std::function<std::unique_ptr<PortBackend>(PortKind, PortContext&)>;

// The backends that use the system's devices, files, sockets and USB library.
std::unique_ptr<PortBackend> MakeSystemBackend(PortKind kind, PortContext& context);

}  // namespace corvelle
