// SPDX-License-Identifier: MIT
// One echo through the system's ICMP echo service (IcmpSendEcho2), for processes that may not
// open a raw ICMP socket.
#include <winsock2.h>
#include <windows.h>
#include <iphlpapi.h>
#include <icmpapi.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <memory>
#include <span>
#include <thread>
#include <vector>

#include "ports/echo/EchoWire.h"
#include "ports/echo/win/EchoSocketWin.h"

namespace corvelle::win {
namespace {

// How long past its own time-out the service is given to complete a request.
constexpr DWORD kServiceGraceMs = 1000;

// A request in flight: the service writes into `replies` until it signals `done`, so all of it is
// freed only after that, or never when the service does not complete it.
struct ServiceRequest {
  HANDLE icmp = INVALID_HANDLE_VALUE;
  HANDLE done = nullptr;
  std::vector<std::uint8_t> data;
  std::vector<std::uint8_t> replies;
  ~ServiceRequest() {
    if (icmp != INVALID_HANDLE_VALUE) ::IcmpCloseHandle(icmp);
    if (done) ::CloseHandle(done);
  }
};

// After STOP the request may still be in flight: it is cancelled, and a thread of its own frees it
// once the service has let go of its buffers (at the latest at the request's own time-out).
void AbandonInFlight(std::unique_ptr<ServiceRequest> request, DWORD timeoutMs) {
  ::CancelIoEx(request->icmp, nullptr);
  std::thread([request = std::move(request), timeoutMs]() mutable {
    if (::WaitForSingleObject(request->done, timeoutMs + kServiceGraceMs) != WAIT_OBJECT_0) {
      // Never completed: its buffers may still be written, so they are left to the process.
      static_cast<void>(request.release());
    }
  }).detach();
}

}  // namespace

Result<EchoProbeReply> ProbeThroughIcmpService(const EchoRequest& request, NativeHandle stop) {
  auto flight = std::make_unique<ServiceRequest>();
  flight->icmp = ::IcmpCreateFile();
  if (flight->icmp == INVALID_HANDLE_VALUE) return EchoFailure(static_cast<int>(::GetLastError()));
  flight->done = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!flight->done) return EchoFailure(static_cast<int>(::GetLastError()));

  // The service writes the ICMP header (type, code, checksum, identifier, sequence); the rest of
  // our message, the time stamp and the payload, is its data.
  std::vector<std::uint8_t> message(kEchoHeaderSize + static_cast<std::size_t>(request.payload));
  BuildEchoRequest(message, request.sequence);
  flight->data.assign(message.begin() + 8, message.end());
  // One reply, its data, an ICMP error's 8 bytes and the service's status block (two pointers).
  flight->replies.resize(sizeof(ICMP_ECHO_REPLY) + flight->data.size() + 8 + 2 * sizeof(void*));
  IP_OPTION_INFORMATION options{};
  options.Ttl = static_cast<UCHAR>(request.ttl & 0xFF);
  options.Tos = static_cast<UCHAR>(request.tos & 0xFF);
  options.Flags = request.dontFragment ? IP_FLAG_DF : 0;

  const auto start = std::chrono::steady_clock::now();
  const DWORD sent = ::IcmpSendEcho2(flight->icmp, flight->done, nullptr, nullptr, request.destination.sin_addr.s_addr,
                                     flight->data.data(), static_cast<WORD>(flight->data.size()), &options,
                                     flight->replies.data(), static_cast<DWORD>(flight->replies.size()),
                                     request.timeoutMs);
  if (sent == 0 && ::GetLastError() != ERROR_IO_PENDING) {
    const DWORD error = ::GetLastError();
    return EchoFailure(error == IP_REQ_TIMED_OUT ? ETIMEDOUT : static_cast<int>(error));
  }
  switch (WaitForEchoEvent(flight->done, request.timeoutMs + kServiceGraceMs, stop)) {
    case EchoWait::Stopped:
      AbandonInFlight(std::move(flight), request.timeoutMs);
      return EchoFailure(ECANCELED);
    case EchoWait::TimedOut:
      AbandonInFlight(std::move(flight), request.timeoutMs);
      return EchoFailure(ETIMEDOUT);
    case EchoWait::Failed: {
      const int error = static_cast<int>(::GetLastError());
      AbandonInFlight(std::move(flight), request.timeoutMs);
      return EchoFailure(error);
    }
    case EchoWait::Ready:
      break;
  }
  const auto end = std::chrono::steady_clock::now();
  if (::IcmpParseReplies(flight->replies.data(), static_cast<DWORD>(flight->replies.size())) == 0) {
    const DWORD error = ::GetLastError();
    return EchoFailure(error == IP_REQ_TIMED_OUT || error == 0 ? ETIMEDOUT : static_cast<int>(error));
  }
  ICMP_ECHO_REPLY answer{};
  std::memcpy(&answer, flight->replies.data(), sizeof answer);
  if (answer.Status == IP_REQ_TIMED_OUT) return EchoFailure(ETIMEDOUT);
  // Only an echo reply from the probed address that carries our data back answers this probe.
  const auto* echoed = static_cast<const std::uint8_t*>(answer.Data);
  const bool ours = answer.Status == IP_SUCCESS && answer.Address == request.destination.sin_addr.s_addr &&
                    answer.DataSize == flight->data.size() && echoed != nullptr &&
                    echoed >= flight->replies.data() &&
                    echoed + answer.DataSize <= flight->replies.data() + flight->replies.size() &&
                    std::memcmp(echoed, flight->data.data(), flight->data.size()) == 0;
  if (!ours) return EchoFailure(kEchoErrorUnexpectedNetwork);
  return EchoProbeReply{
      answer.Address,
      static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count())};
}

}  // namespace corvelle::win
