// SPDX-License-Identifier: MIT
// STOP over an eventfd: a poll on it wakes the moment the signal is raised.
#include "base/StopSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>

namespace corvelle {

StopSignal::StopSignal() : m_handle(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}

StopSignal::~StopSignal() {
  if (m_handle >= 0) ::close(m_handle);
}

void StopSignal::Raise() {
  m_raised.store(true, std::memory_order_release);
  const std::uint64_t one = 1;
  if (m_handle >= 0) {
    [[maybe_unused]] const ssize_t n = ::write(m_handle, &one, sizeof one);
  }
}

void StopSignal::Clear() {
  m_raised.store(false, std::memory_order_release);
  std::uint64_t count = 0;
  if (m_handle >= 0) {
    [[maybe_unused]] const ssize_t n = ::read(m_handle, &count, sizeof count);
  }
}

}  // namespace corvelle
