// SPDX-License-Identifier: MIT
// The ICMP echo test that tells whether a printer's address answers before we talk to it.
#pragma once

#include <cstdint>
#include <string>

#include "base/NativeHandle.h"
#include "base/Outcome.h"

namespace corvelle {

class StopSignal;

// What a probe watches for STOP: the stop signal's handle (StopSignal::Handle). kNoStopHandle
// watches nothing.
inline constexpr NativeHandle kNoStopHandle = kNoHandle;
// The handle of `stop` (may be null) that a probe watches.
NativeHandle ProbeStopHandle(const StopSignal* stop);

// Reasons of a failed probe that no errno value names. They lie outside errno's range so
// that they are never mistaken for a system error.
inline constexpr int kEchoErrorHostNotFound = 0x10001;
// The packet that ended the wait carried our identifier and sequence but was no echo reply.
inline constexpr int kEchoErrorUnexpectedNetwork = 0x10002;

// Why a probe fails with EACCES: neither ICMP socket kind is open to this user.
inline constexpr const char* kEchoNotPermittedText = "ICMP echo is not permitted for this user; see README";

// Where the matching echo reply came from and how long it took.
struct EchoProbeReply {
  std::uint32_t responderAddress = 0;  // IPv4 address, network byte order
  std::uint32_t roundTripMs = 0;       // from just before sending to just after decoding
};

// How one echo request is made; the defaults are the program's own probe of a printer.
struct EchoProbeOptions {
  unsigned ttl = 10;               // its low 8 bits are used
  std::uint32_t timeoutMs = 5000;  // the whole wait, packets that are not ours included
  std::int32_t dataSize = 32;      // payload bytes, 0..1024 (more is cut to 1024, negative fails with EINVAL)
  unsigned tos = 0;                // its low 8 bits are used
  bool dontFragment = false;       // sets the don't-fragment bit
  std::string localAddress;        // empty for none, else the socket is bound to it first
  unsigned sequence = 0;           // its low 16 bits are sent and required in the reply

  // The program's own probe, waiting at most `ms`.
  static EchoProbeOptions Within(std::uint32_t ms) {
    EchoProbeOptions options;
    options.timeoutMs = ms;
    return options;
  }
};

// Sends one ICMP echo request and waits for its reply. Holds no state beyond the STOP it
// watches: use a temporary. Blocks the calling thread for at most `timeoutMs` in all: packets
// that are not ours do not extend the wait. Only a reply from the probed address with this
// probe's own identifier and sequence counts.
class CEchoProbe {
 public:
  // `stop`: see ProbeStopHandle.
  explicit CEchoProbe(NativeHandle stop = kNoStopHandle) : m_stop(stop) {}

  // host: dotted decimal (used as is) or a name (looked up, first IPv4 address).
  // Returns the matching echo reply when it arrived in time. Else the failure's `system` says why:
  // an errno value (ETIMEDOUT when no reply came in time, EACCES when ICMP echo is not permitted)
  // or one of the kEchoError values above; on Windows any other reason is the system's error
  // number (a Winsock or IP helper status, all above errno's range). A probe that STOP ends is
  // Stopped, with `system` ECANCELED. The failure has no text: EchoProbeErrorText words it.
  Result<EchoProbeReply> Probe(const std::string& host, const EchoProbeOptions& options = {}) const;

 private:
  NativeHandle m_stop;
};

// A short text for a failed probe's `system` value: "timed out", "host not found", the way to permit ICMP
// echo for EACCES, or the system's text.
std::string EchoProbeErrorText(int error);

}  // namespace corvelle
