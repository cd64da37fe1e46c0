// SPDX-License-Identifier: MIT
// The echo probe's parts that every platform shares: why the last probe failed and its text, and
// taking the awaited reply among the datagrams received.
#include "ports/echo/EchoProbe.h"

#include <cerrno>

#include "base/StopSignal.h"
#include "ports/echo/EchoWire.h"

namespace corvelle {
namespace {

thread_local int t_lastError = 0;

}  // namespace

void SetEchoLastError(int error) { t_lastError = error; }

int FailEcho(int error) {
  SetEchoLastError(error);
  return 0;
}

int CEchoProbe::LastError() { return t_lastError; }

NativeHandle ProbeStopHandle(const StopSignal* stop) { return stop ? stop->Handle() : kNoStopHandle; }

std::optional<int> TakeEchoReply(std::span<const std::uint8_t> datagram, std::uint32_t sender,
                                 std::uint32_t destination, EchoFraming framing, std::uint16_t identifier,
                                 std::uint16_t sequence, std::chrono::steady_clock::time_point start,
                                 EchoProbeReply* reply) {
  // Only the probed address answers this probe.
  if (sender != destination) return std::nullopt;
  bool keepWaiting = true;
  const int answer = DecodeEchoReply(datagram, framing, identifier, sequence, keepWaiting);
  if (keepWaiting) return std::nullopt;
  const auto end = std::chrono::steady_clock::now();
  if (answer != 1) return 0;
  if (reply != nullptr) {
    reply->responderAddress = sender;
    reply->roundTripMs =
        static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count());
  }
  SetEchoLastError(0);
  return 1;
}

std::string EchoProbeErrorText(int error) {
  switch (error) {
    case 0:
      return "no error";
    case ETIMEDOUT:
      return "timed out";
    case kEchoErrorHostNotFound:
      return "host not found";
    case kEchoErrorUnexpectedNetwork:
      return "unexpected network error";
    case EACCES:
      return kEchoNotPermittedText;
    default:
      return EchoSystemErrorText(error);
  }
}

}  // namespace corvelle
