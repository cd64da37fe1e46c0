// SPDX-License-Identifier: MIT
// Waits beside the stop event with WaitForMultipleObjects; a socket is tied to an event of its
// own with WSAEventSelect for the length of one wait.
#include <winsock2.h>
#include <windows.h>

#include <algorithm>

#include "base/win/HandleWait.h"

namespace corvelle::win {
namespace {

DWORD Milliseconds(std::int64_t ms) {
  return static_cast<DWORD>(std::clamp<std::int64_t>(ms, 0, static_cast<std::int64_t>(INFINITE) - 1));
}

// Waits on `object` and the stop event (when there is one); the stop wins a tie.
WaitResult WaitBeside(HANDLE object, std::int64_t timeoutMs, const StopSignal* stop) {
  HANDLE handles[2];
  DWORD count = 0;
  const HANDLE stopEvent = stop && stop->Handle() != kNoHandle ? reinterpret_cast<HANDLE>(stop->Handle()) : nullptr;
  if (stopEvent) handles[count++] = stopEvent;
  if (object) handles[count++] = object;
  if (stop && stop->Raised()) return WaitResult::Stopped;
  if (count == 0) {
    ::Sleep(Milliseconds(timeoutMs));
    return WaitResult::TimedOut;
  }
  const DWORD result = ::WaitForMultipleObjects(count, handles, FALSE, Milliseconds(timeoutMs));
  if (result == WAIT_TIMEOUT) return WaitResult::TimedOut;
  if (result >= WAIT_OBJECT_0 + count) return WaitResult::Failed;
  if (stopEvent && (result == WAIT_OBJECT_0 || (stop && stop->Raised()))) return WaitResult::Stopped;
  return WaitResult::Ready;
}

bool SocketReadyNow(SOCKET socket, FdEvent event) {
  WSAPOLLFD p{socket, static_cast<short>(event == FdEvent::Readable ? POLLRDNORM : POLLWRNORM), 0};
  return ::WSAPoll(&p, 1, 0) > 0;
}

}  // namespace

WaitResult WaitForSocket(NativeHandle socket, FdEvent event, std::int64_t timeoutMs, const StopSignal* stop) {
  if (stop && stop->Raised()) return WaitResult::Stopped;
  const auto s = static_cast<SOCKET>(socket);
  if (SocketReadyNow(s, event)) return WaitResult::Ready;
  const HANDLE ready = ::WSACreateEvent();
  if (ready == WSA_INVALID_EVENT) return WaitResult::Failed;
  // Selecting FD_READ on a socket that holds data (or FD_WRITE on one with room) signals the
  // event at once, so readiness between the check above and here is not lost.
  const long events = event == FdEvent::Readable ? FD_READ | FD_CLOSE | FD_ACCEPT : FD_WRITE | FD_CONNECT | FD_CLOSE;
  WaitResult result = WaitResult::Failed;
  if (::WSAEventSelect(s, ready, events) == 0) {
    result = WaitBeside(ready, timeoutMs, stop);
    // The socket is left non-blocking, as every socket a port waits on already is.
    ::WSAEventSelect(s, nullptr, 0);
  }
  ::WSACloseEvent(ready);
  return result;
}

WaitResult WaitForObject(NativeHandle object, std::int64_t timeoutMs, const StopSignal* stop) {
  return WaitBeside(reinterpret_cast<HANDLE>(object), timeoutMs, stop);
}

WaitResult PauseUnlessStopped(std::int64_t ms, const StopSignal* stop) {
  const WaitResult result = WaitBeside(nullptr, ms, stop);
  return result == WaitResult::Ready ? WaitResult::TimedOut : result;
}

}  // namespace corvelle::win
