// SPDX-License-Identifier: MIT
// TCP listener and pseudo-terminal set-up for the simulator.
#include "printer-sim/Endpoints.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace corvelle::printersim {
namespace {

constexpr int kBacklog = 16;

std::string SystemError(const std::string& what) { return what + ": " + std::strerror(errno); }

// Numeric host and port of a socket address.
bool NameOf(const sockaddr* address, socklen_t length, std::string& host, int& port) {
  char hostText[NI_MAXHOST];
  char portText[NI_MAXSERV];
  if (getnameinfo(address, length, hostText, sizeof hostText, portText, sizeof portText,
                  NI_NUMERICHOST | NI_NUMERICSERV) != 0) {
    return false;
  }
  host = hostText;
  port = std::atoi(portText);
  return true;
}

std::string Joined(const std::string& host, int port) {
  const bool v6 = host.find(':') != std::string::npos;
  return (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
}

}  // namespace

std::string Listener::Endpoint() const { return Joined(address, port); }

bool OpenListener(const std::string& bindAddress, int port, Listener& listener, std::string* error, bool listenNow) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV | AI_PASSIVE;
  addrinfo* found = nullptr;
  const int status = getaddrinfo(bindAddress.c_str(), std::to_string(port).c_str(), &hints, &found);
  if (status != 0) {
    *error = "cannot listen on '" + bindAddress + "': " + gai_strerror(status) + " (a numeric address is needed)";
    return false;
  }
  UniqueFd fd(::socket(found->ai_family, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0));
  const int one = 1;
  const bool ok = fd.Valid() && ::setsockopt(fd.Get(), SOL_SOCKET, SO_REUSEADDR, &one, sizeof one) == 0 &&
                  ::bind(fd.Get(), found->ai_addr, found->ai_addrlen) == 0 &&
                  (!listenNow || ::listen(fd.Get(), kBacklog) == 0);
  freeaddrinfo(found);
  if (!ok) {
    *error = SystemError("cannot listen on " + Joined(bindAddress, port));
    return false;
  }
  sockaddr_storage bound{};
  socklen_t length = sizeof bound;
  if (::getsockname(fd.Get(), reinterpret_cast<sockaddr*>(&bound), &length) != 0 ||
      !NameOf(reinterpret_cast<sockaddr*>(&bound), length, listener.address, listener.port)) {
    *error = SystemError("cannot read the listening address");
    return false;
  }
  listener.fd = std::move(fd);
  return true;
}

bool StartListening(Listener& listener, std::string* error) {
  if (::listen(listener.fd.Get(), kBacklog) == 0) return true;
  *error = SystemError("cannot listen on " + listener.Endpoint());
  return false;
}

bool OpenPseudoTerminal(PseudoTerminal& terminal, std::string* error) {
  UniqueFd master(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC));
  if (!master.Valid() || ::grantpt(master.Get()) != 0 || ::unlockpt(master.Get()) != 0) {
    *error = SystemError("cannot open a pseudo-terminal");
    return false;
  }
  char path[128];
  if (::ptsname_r(master.Get(), path, sizeof path) != 0) {
    *error = SystemError("cannot name the pseudo-terminal");
    return false;
  }
  UniqueFd slave(::open(path, O_RDWR | O_NOCTTY | O_CLOEXEC));
  termios settings{};
  if (!slave.Valid() || ::tcgetattr(slave.Get(), &settings) != 0) {
    *error = SystemError(std::string("cannot open ") + path);
    return false;
  }
  ::cfmakeraw(&settings);
  const int flags = ::fcntl(master.Get(), F_GETFL);
  if (::tcsetattr(slave.Get(), TCSANOW, &settings) != 0 || flags < 0 ||
      ::fcntl(master.Get(), F_SETFL, flags | O_NONBLOCK) != 0) {
    *error = SystemError(std::string("cannot set up ") + path);
    return false;
  }
  terminal.master = std::move(master);
  terminal.slave = std::move(slave);
  terminal.slavePath = path;
  return true;
}

std::string PeerName(int fd) {
  sockaddr_storage peer{};
  socklen_t length = sizeof peer;
  std::string host;
  int port = 0;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &length) != 0 ||
      !NameOf(reinterpret_cast<sockaddr*>(&peer), length, host, port)) {
    return "unknown";
  }
  return Joined(host, port);
}

}  // namespace corvelle::printersim
