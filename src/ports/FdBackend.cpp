// SPDX-License-Identifier: MIT
// Descriptor writing shared by the device and file kinds.
#include "ports/FdBackend.h"

#include <unistd.h>

#include <cstring>

#include "ports/OutputWait.h"

namespace corvelle {

FdBackend::FdBackend(PortContext& context, std::string failureText, MessageStyle failureStyle)
    : m_context(context), m_failureText(std::move(failureText)), m_failureStyle(failureStyle) {}

FdBackend::~FdBackend() { FdBackend::Release(); }

Outcome FdBackend::Write(const std::uint8_t* bytes, std::size_t count) {
  if (m_fd < 0 || m_failed) return Outcome::Quiet();
  const Outcome written = WriteAll(m_context, m_fd, bytes, count);
  if (!written.Failed()) return written;
  m_failed = true;
  return Outcome::Failure(m_failureText + m_path + ":\n" + std::strerror(written.system), m_failureStyle);
}

void FdBackend::Release() {
  if (m_fd >= 0) ::close(m_fd);
  m_fd = -1;
}

}  // namespace corvelle
