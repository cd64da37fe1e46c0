// SPDX-License-Identifier: MIT
// The bridge's cable to the printer simulator: a Unix stream socket that carries the bytes the
// host sends out, and brings back what the printer sends (its XON and XOFF).
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace kervusb {

class SimLink {
 public:
  enum class Result { Ok, Timeout, Gone };

  SimLink() = default;
  ~SimLink() { Close(); }
  SimLink(const SimLink&) = delete;
  SimLink& operator=(const SimLink&) = delete;

  // False with the system's reason when the simulator does not answer at `path`.
  bool Connect(const std::string& path, std::string* error);
  bool Connected() const { return m_fd >= 0; }
  // The simulator hung up: the device has gone.
  bool Gone() const { return m_gone; }

  // Sends `count` bytes, waiting at most `timeoutMs` (0: no limit) for room; `sent` says how
  // many went.
  Result Send(const std::uint8_t* bytes, std::size_t count, int timeoutMs, std::size_t& sent);
  // Waits up to `waitMs` for bytes and appends those that have come to `into`, at most `limit`.
  Result Receive(std::string& into, std::size_t limit, int waitMs);
  // Drops whatever has come and not been read.
  Result Discard();
  void Close();

 private:
  int m_fd = -1;
  bool m_gone = false;
};

}  // namespace kervusb
