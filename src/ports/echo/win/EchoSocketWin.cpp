// SPDX-License-Identifier: MIT
// Look-ups, the wait beside STOP, and one echo over a raw ICMP socket on Windows.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <span>
#include <utility>
#include <vector>

#include "ports/echo/EchoWire.h"
#include "ports/echo/win/EchoSocketWin.h"

namespace corvelle {

bool ParseDottedIPv4(const std::string& text, in_addr& address) {
  return ::inet_pton(AF_INET, text.c_str(), &address) == 1;
}

// Winsock names every failure of a look-up by an error of its own; all but a lack of memory mean
// that the text names no host we can reach.
int LookUpErrorNumber(int status) {
  return status == WSA_NOT_ENOUGH_MEMORY || status == EAI_MEMORY ? ENOMEM : kEchoErrorHostNotFound;
}

}  // namespace corvelle

namespace corvelle::win {
namespace {

// Closes the socket and its event on every path out of the probe.
struct RawSocket {
  SOCKET socket = INVALID_SOCKET;
  HANDLE event = WSA_INVALID_EVENT;
  ~RawSocket() {
    if (socket != INVALID_SOCKET) ::closesocket(socket);
    if (event != WSA_INVALID_EVENT) ::WSACloseEvent(event);
  }
};

Outcome SetIpOption(SOCKET socket, int name, DWORD value) {
  if (::setsockopt(socket, IPPROTO_IP, name, reinterpret_cast<const char*>(&value), sizeof value) == 0) return {};
  return EchoFailure(::WSAGetLastError());
}

}  // namespace

EchoWait WaitForEchoEvent(HANDLE event, std::uint32_t limitMs, NativeHandle stop) {
  HANDLE handles[2];
  DWORD count = 0;
  const HANDLE stopEvent = stop != kNoStopHandle ? reinterpret_cast<HANDLE>(stop) : nullptr;
  if (stopEvent) handles[count++] = stopEvent;
  handles[count++] = event;
  const DWORD limit = limitMs < INFINITE ? limitMs : INFINITE - 1;
  const DWORD result = ::WaitForMultipleObjects(count, handles, FALSE, limit);
  if (result == WAIT_TIMEOUT) return EchoWait::TimedOut;
  if (result >= WAIT_OBJECT_0 + count) return EchoWait::Failed;
  // WaitForMultipleObjects reports the first signalled handle: the stop event comes first.
  if (stopEvent && result == WAIT_OBJECT_0) return EchoWait::Stopped;
  return EchoWait::Ready;
}

std::optional<Result<EchoProbeReply>> ProbeOverRawSocket(const EchoRequest& request, const char* localAddress,
                                                         NativeHandle stop) {
  RawSocket raw;
  raw.socket = ::WSASocketW(AF_INET, SOCK_RAW, IPPROTO_ICMP, nullptr, 0, 0);
  if (raw.socket == INVALID_SOCKET) {
    const int error = ::WSAGetLastError();
    if (error == WSAEACCES) return std::nullopt;
    return EchoFailure(error);
  }
  if (localAddress != nullptr && *localAddress != '\0') {
    const auto local = ResolveIPv4(localAddress);
    if (!local) return local.Failure();
    if (::bind(raw.socket, reinterpret_cast<const sockaddr*>(&*local), sizeof *local) != 0) {
      return EchoFailure(::WSAGetLastError());
    }
  }
  // The don't-fragment option is set both ways, so the request carries the bit exactly when asked.
  for (const auto& [name, value] : {std::pair<int, DWORD>{IP_TTL, request.ttl & 0xFF}, {IP_TOS, request.tos & 0xFF},
                                    {IP_DONTFRAGMENT, request.dontFragment ? 1u : 0u}}) {
    if (Outcome set = SetIpOption(raw.socket, name, value); !set) return set;
  }
  // The socket signals this event whenever a datagram is waiting; it is also non-blocking now.
  raw.event = ::WSACreateEvent();
  if (raw.event == WSA_INVALID_EVENT || ::WSAEventSelect(raw.socket, raw.event, FD_READ) != 0) {
    return EchoFailure(::WSAGetLastError());
  }

  const std::uint16_t identifier = NextProbeIdentifier();
  std::vector<std::uint8_t> message(kEchoHeaderSize + static_cast<std::size_t>(request.payload));
  BuildEchoRequest(message, request.sequence, identifier);
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(request.timeoutMs);
  if (::sendto(raw.socket, reinterpret_cast<const char*>(message.data()), static_cast<int>(message.size()), 0,
               reinterpret_cast<const sockaddr*>(&request.destination), sizeof request.destination) < 0) {
    return EchoFailure(::WSAGetLastError());
  }

  std::vector<std::uint8_t> received(kEchoReceiveSize);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return EchoFailure(ETIMEDOUT);
    switch (WaitForEchoEvent(raw.event, static_cast<std::uint32_t>(left.count()), stop)) {
      case EchoWait::Stopped: return EchoFailure(ECANCELED);
      case EchoWait::Failed: return EchoFailure(static_cast<int>(::GetLastError()));
      case EchoWait::TimedOut: continue;
      case EchoWait::Ready: break;
    }
    WSANETWORKEVENTS seen{};
    ::WSAEnumNetworkEvents(raw.socket, raw.event, &seen);  // resets the event
    // Every datagram waiting is read now: the event is signalled again only for later ones.
    for (;;) {
      sockaddr_in sender{};
      int senderLength = sizeof sender;
      const int length = ::recvfrom(raw.socket, reinterpret_cast<char*>(received.data()),
                                    static_cast<int>(received.size()), 0, reinterpret_cast<sockaddr*>(&sender),
                                    &senderLength);
      if (length < 0) {
        // WSAEMSGSIZE: a datagram too long for the buffer, never ours. Anything else ends the
        // reading until the next signal.
        if (::WSAGetLastError() == WSAEMSGSIZE) continue;
        break;
      }
      if (const auto answer = TakeEchoReply(
              std::span<const std::uint8_t>(received.data(), static_cast<std::size_t>(length)), sender.sin_addr.s_addr,
              request.destination.sin_addr.s_addr, EchoFraming::IpHeader, identifier, request.sequence, start)) {
        return std::move(*answer);
      }
    }
  }
}

}  // namespace corvelle::win
