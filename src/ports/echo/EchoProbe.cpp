// SPDX-License-Identifier: MIT
// The echo probe's parts that every platform shares: a failed probe's outcome and its text, and
// taking the awaited reply among the datagrams received.
#include "ports/echo/EchoProbe.h"

#include <cerrno>

#include "base/StopSignal.h"
#include "ports/echo/EchoWire.h"

namespace corvelle {
Outcome EchoFailure(int error) {
  Outcome failed = Outcome::SystemError(error);
  if (error == ECANCELED) failed.code = Outcome::Code::Stopped;
  return failed;
}

NativeHandle ProbeStopHandle(const StopSignal* stop) { return stop ? stop->Handle() : kNoStopHandle; }

std::optional<Result<EchoProbeReply>> TakeEchoReply(std::span<const std::uint8_t> datagram, std::uint32_t sender,
                                                    std::uint32_t destination, EchoFraming framing,
                                                    std::uint16_t identifier, std::uint16_t sequence,
                                                    std::chrono::steady_clock::time_point start) {
  // Only the probed address answers this probe.
  if (sender != destination) return std::nullopt;
  bool keepWaiting = true;
  const int answer = DecodeEchoReply(datagram, framing, identifier, sequence, keepWaiting);
  if (keepWaiting) return std::nullopt;
  const auto end = std::chrono::steady_clock::now();
  if (answer != 1) return EchoFailure(kEchoErrorUnexpectedNetwork);
  return EchoProbeReply{
      sender, static_cast<std::uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(end - start).count())};
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
