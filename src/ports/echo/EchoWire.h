// SPDX-License-Identifier: MIT
// The bytes of the echo probe: building the request and recognising its reply.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

#include "base/Outcome.h"

namespace corvelle {

struct EchoProbeReply;

inline constexpr std::size_t kEchoHeaderSize = 12;   // type, code, checksum, id, sequence, tick
inline constexpr std::int32_t kEchoMaxPayload = 1024;
inline constexpr std::size_t kEchoReceiveSize = 1059;
inline constexpr std::uint8_t kEchoPayloadByte = 0x45;  // 'E'
inline constexpr std::uint8_t kIcmpEchoReply = 0;
inline constexpr std::uint8_t kIcmpEchoRequest = 8;

// How received datagrams are framed: a raw socket hands over the IPv4 header too, the
// datagram ICMP socket only the ICMP message.
enum class EchoFraming { IpHeader, Bare };

// RFC 1071 checksum over `bytes`, 16-bit words read low byte first, an odd last byte added
// as it is. Stored low byte first, it is the right checksum on the wire; over a message that
// already holds its checksum it gives 0.
std::uint16_t InternetChecksum(std::span<const std::uint8_t> bytes);

// The low 16 bits of this process's id.
std::uint16_t ProcessIdentifier();

// A fresh identifier for one probe: the process's, advanced by one for every probe before it,
// so that probes running at once in one process never take each other's replies.
std::uint16_t NextProbeIdentifier();

// A millisecond tick count (monotonic, wraps at 32 bits) for the request's time stamp.
std::uint32_t TickCount();

// Fills `message` (at least kEchoHeaderSize bytes) with an echo request: type 8, code 0,
// `identifier`, `sequence`, the tick count, then 0x45 payload bytes, all low byte first, and
// stores its checksum.
void BuildEchoRequest(std::span<std::uint8_t> message, std::uint16_t sequence, std::uint16_t identifier);
// The same with the process's identifier.
void BuildEchoRequest(std::span<std::uint8_t> message, std::uint16_t sequence);

// Recognises the reply to our request among received datagrams. `identifier` is the value
// our requests carry (read low byte first). Returns 1 for our echo reply; `keepWaiting` says
// whether the packet was someone else's (or not the one awaited) so the wait goes on.
// A matching packet that is no echo reply answers 0 and ends the wait; a packet too short to
// hold a header answers 0 while waiting on. Our own request, seen by a raw socket on loopback,
// is passed over.
int DecodeEchoReply(std::span<const std::uint8_t> datagram, EchoFraming framing, std::uint16_t identifier,
                    std::uint16_t sequence, bool& keepWaiting);

// Takes a datagram from `sender` (an IPv4 address, network byte order) while a probe of
// `destination` waits for the reply to its request (`identifier`, `sequence`, sent at `start`):
// nullopt while the wait goes on (a packet from elsewhere, someone else's, or not the one
// awaited); else the probe's answer, the reply or kEchoErrorUnexpectedNetwork.
std::optional<Result<EchoProbeReply>> TakeEchoReply(std::span<const std::uint8_t> datagram, std::uint32_t sender,
                                                    std::uint32_t destination, EchoFraming framing,
                                                    std::uint16_t identifier, std::uint16_t sequence,
                                                    std::chrono::steady_clock::time_point start);

// A failed probe's outcome for `error` (see CEchoProbe::Probe): Stopped for ECANCELED, else a
// failure with `system` set and no text.
Outcome EchoFailure(int error);
// The platform's text of an error number that the probe's own texts do not name.
std::string EchoSystemErrorText(int error);

}  // namespace corvelle
