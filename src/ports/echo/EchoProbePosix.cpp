// SPDX-License-Identifier: MIT
// One ICMP echo on POSIX: send the request over an ICMP socket, wait for its reply.
#include "ports/echo/EchoProbe.h"

#include <netinet/in.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <utility>
#include <vector>

#include "ports/echo/EchoSocket.h"
#include "ports/echo/EchoWire.h"

namespace corvelle {
namespace {

Outcome SetIntOption(int fd, int name, int value) {
  return ::setsockopt(fd, IPPROTO_IP, name, &value, sizeof value) == 0 ? Outcome{} : EchoFailure(errno);
}

// The identifier our requests carry as the reply will show it (read low byte first). The
// datagram socket's kernel writes its own: the socket's port, in network byte order.
Result<std::uint16_t> OurIdentifier(const EchoSocket& socket, std::uint16_t chosen) {
  if (socket.framing == EchoFraming::IpHeader) return chosen;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(socket.fd.Get(), reinterpret_cast<sockaddr*>(&local), &length) != 0) return EchoFailure(errno);
  std::uint8_t wire[2];
  std::memcpy(wire, &local.sin_port, sizeof wire);
  return static_cast<std::uint16_t>(wire[0] | (wire[1] << 8));
}

}  // namespace

Result<EchoProbeReply> CEchoProbe::Probe(const std::string& host, const EchoProbeOptions& options) const {
  if (options.dataSize < 0) return EchoFailure(EINVAL);
  const auto destination = ResolveIPv4(host);
  if (!destination) return destination.Failure();

  auto opened = OpenEchoSocket();
  if (!opened) return opened.Failure();
  const EchoSocket& socket = *opened;
  const int fd = socket.fd.Get();
  if (!options.localAddress.empty()) {
    if (Outcome bound = BindLocal(fd, options.localAddress); !bound) return bound;
  }
  // Linux sets the don't-fragment bit by default (path MTU discovery), so the flag is
  // applied both ways for the request to carry the bit exactly when asked.
  for (const auto& [name, value] : {std::pair{IP_TTL, static_cast<int>(options.ttl & 0xFF)},
                                    {IP_TOS, static_cast<int>(options.tos & 0xFF)},
                                    {IP_MTU_DISCOVER, options.dontFragment ? IP_PMTUDISC_DO : IP_PMTUDISC_DONT}}) {
    if (Outcome set = SetIntOption(fd, name, value); !set) return set;
  }

  const auto wantedSequence = static_cast<std::uint16_t>(options.sequence & 0xFFFF);
  // The raw socket's identifier is chosen here; the datagram socket's kernel writes its own on
  // sending, so that one is read back afterwards.
  const std::uint16_t chosen = NextProbeIdentifier();
  std::vector<std::uint8_t> message(kEchoHeaderSize + static_cast<std::size_t>(std::min(options.dataSize, kEchoMaxPayload)));
  BuildEchoRequest(message, wantedSequence, chosen);

  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(options.timeoutMs);
  if (::sendto(fd, message.data(), message.size(), 0, reinterpret_cast<const sockaddr*>(&*destination),
               sizeof *destination) < 0) {
    return EchoFailure(errno);
  }
  const auto identifier = OurIdentifier(socket, chosen);
  if (!identifier) return identifier.Failure();

  std::vector<std::uint8_t> received(kEchoReceiveSize);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return EchoFailure(ETIMEDOUT);
    const auto readable = IsReadable(fd, static_cast<std::uint32_t>(left.count()), m_stop);
    if (!readable) return readable.Failure();
    // Nothing yet (time up, or a signal woke the wait): the loop's deadline decides.
    if (!*readable) continue;
    sockaddr_in sender{};
    socklen_t senderLength = sizeof sender;
    const ssize_t length = ::recvfrom(fd, received.data(), received.size(), MSG_DONTWAIT,
                                      reinterpret_cast<sockaddr*>(&sender), &senderLength);
    if (length < 0) continue;
    if (const auto answer = TakeEchoReply(std::span(received).first(static_cast<std::size_t>(length)),
                                          sender.sin_addr.s_addr, destination->sin_addr.s_addr, socket.framing,
                                          *identifier, wantedSequence, start)) {
      return *answer;
    }
  }
}

std::string EchoSystemErrorText(int error) { return std::strerror(error); }

}  // namespace corvelle
