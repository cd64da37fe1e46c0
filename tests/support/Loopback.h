// SPDX-License-Identifier: MIT
// TCP ports on 127.0.0.1 for tests that try a printer's port: one that accepts, one with nothing
// listening, and one whose connection queue is full so that a connect gets no answer.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <vector>

#include "base/UniqueFd.h"

namespace corvelle::test {

// A socket bound to `port` (0: a free one) of a loopback address (host order; default
// 127.0.0.1); listening with `backlog` when it is 0 or more, else only bound, so that the kernel
// refuses connections to it.
struct LoopbackPort {
  explicit LoopbackPort(int backlog = -1, std::uint32_t host = INADDR_LOOPBACK, int wanted = 0) {
    sockaddr_in address{AF_INET, htons(static_cast<std::uint16_t>(wanted)), {htonl(host)}, {}};
    socklen_t length = sizeof address;
    const bool bound = ::bind(fd.Get(), reinterpret_cast<sockaddr*>(&address), length) == 0;
    if (bound && (backlog < 0 || ::listen(fd.Get(), backlog) == 0) &&
        ::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&address), &length) == 0) {
      port = ntohs(address.sin_port);
    }
  }
  UniqueFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)};
  int port = 0;  // 0 when the socket could not be set up
};

// A listener whose queue connection requests have filled: the next request goes unanswered for
// as long as the fillers stay open.
struct SilentPort {
  SilentPort() {
    for (int i = 0; i < 3; ++i) {
      fillers.emplace_back(::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
      sockaddr_in to{AF_INET, htons(static_cast<std::uint16_t>(listener.port)), {htonl(INADDR_LOOPBACK)}, {}};
      ::connect(fillers.back().Get(), reinterpret_cast<sockaddr*>(&to), sizeof to);
    }
  }
  LoopbackPort listener{0};
  std::vector<UniqueFd> fillers;
};

}  // namespace corvelle::test
