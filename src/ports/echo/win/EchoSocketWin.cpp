// SPDX-License-Identifier: MIT
// Look-ups, the wait beside STOP, and one echo over a raw ICMP socket on Windows.
#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cerrno>
#include <chrono>
#include <span>
#include <vector>

#include "ports/echo/EchoWire.h"
#include "ports/echo/win/EchoSocketWin.h"

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

bool SetIpOption(SOCKET socket, int name, DWORD value) {
  if (::setsockopt(socket, IPPROTO_IP, name, reinterpret_cast<const char*>(&value), sizeof value) == 0) return true;
  FailEcho(::WSAGetLastError());
  return false;
}

}  // namespace

std::optional<sockaddr_in> ResolveIPv4(const std::string& text) {
  sockaddr_in address{};
  address.sin_family = AF_INET;
  if (::inet_pton(AF_INET, text.c_str(), &address.sin_addr) == 1) return address;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_DGRAM;
  addrinfo* found = nullptr;
  const int status = ::getaddrinfo(text.c_str(), nullptr, &hints, &found);
  if (status != 0 || found == nullptr) {
    // Winsock names every failure of a look-up by an error of its own; all but a lack of memory
    // mean that the text names no host we can reach.
    SetEchoLastError(status == WSA_NOT_ENOUGH_MEMORY || status == EAI_MEMORY ? ENOMEM : kEchoErrorHostNotFound);
    if (found) ::freeaddrinfo(found);
    return std::nullopt;
  }
  address.sin_addr = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  ::freeaddrinfo(found);
  return address;
}

EchoWait WaitForEchoEvent(HANDLE event, std::uint32_t limitMs, NativeHandle stop) {
  HANDLE handles[2];
  DWORD count = 0;
  const HANDLE stopEvent = stop != kNoStopHandle ? reinterpret_cast<HANDLE>(stop) : nullptr;
  if (stopEvent) handles[count++] = stopEvent;
  handles[count++] = event;
  const DWORD limit = limitMs < INFINITE ? limitMs : INFINITE - 1;
  const DWORD result = ::WaitForMultipleObjects(count, handles, FALSE, limit);
  if (result == WAIT_TIMEOUT) return EchoWait::TimedOut;
  if (result >= WAIT_OBJECT_0 + count) {
    FailEcho(static_cast<int>(::GetLastError()));
    return EchoWait::Failed;
  }
  // WaitForMultipleObjects reports the first signalled handle: the stop event comes first.
  if (stopEvent && result == WAIT_OBJECT_0) return EchoWait::Stopped;
  return EchoWait::Ready;
}

std::optional<int> ProbeOverRawSocket(const EchoRequest& request, const char* localAddress, EchoProbeReply* reply,
                                      NativeHandle stop) {
  RawSocket raw;
  raw.socket = ::WSASocketW(AF_INET, SOCK_RAW, IPPROTO_ICMP, nullptr, 0, 0);
  if (raw.socket == INVALID_SOCKET) {
    const int error = ::WSAGetLastError();
    if (error == WSAEACCES) return std::nullopt;
    return FailEcho(error);
  }
  if (localAddress != nullptr && *localAddress != '\0') {
    const auto local = ResolveIPv4(localAddress);
    if (!local) return 0;
    if (::bind(raw.socket, reinterpret_cast<const sockaddr*>(&*local), sizeof *local) != 0) {
      return FailEcho(::WSAGetLastError());
    }
  }
  // The don't-fragment option is set both ways, so the request carries the bit exactly when asked.
  if (!SetIpOption(raw.socket, IP_TTL, request.ttl & 0xFF) || !SetIpOption(raw.socket, IP_TOS, request.tos & 0xFF) ||
      !SetIpOption(raw.socket, IP_DONTFRAGMENT, request.dontFragment ? 1 : 0)) {
    return 0;
  }
  // The socket signals this event whenever a datagram is waiting; it is also non-blocking now.
  raw.event = ::WSACreateEvent();
  if (raw.event == WSA_INVALID_EVENT || ::WSAEventSelect(raw.socket, raw.event, FD_READ) != 0) {
    return FailEcho(::WSAGetLastError());
  }

  const std::uint16_t identifier = NextProbeIdentifier();
  std::vector<std::uint8_t> message(kEchoHeaderSize + static_cast<std::size_t>(request.payload));
  BuildEchoRequest(message, request.sequence, identifier);
  const auto start = std::chrono::steady_clock::now();
  const auto deadline = start + std::chrono::milliseconds(request.timeoutMs);
  if (::sendto(raw.socket, reinterpret_cast<const char*>(message.data()), static_cast<int>(message.size()), 0,
               reinterpret_cast<const sockaddr*>(&request.destination), sizeof request.destination) < 0) {
    return FailEcho(::WSAGetLastError());
  }

  std::vector<std::uint8_t> received(kEchoReceiveSize);
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return FailEcho(ETIMEDOUT);
    switch (WaitForEchoEvent(raw.event, static_cast<std::uint32_t>(left.count()), stop)) {
      case EchoWait::Stopped: return FailEcho(ECANCELED);
      case EchoWait::Failed: return 0;
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
              request.destination.sin_addr.s_addr, EchoFraming::IpHeader, identifier, request.sequence, start, reply)) {
        return *answer;
      }
    }
  }
}

}  // namespace corvelle::win
