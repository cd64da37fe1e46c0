// SPDX-License-Identifier: MIT
// File descriptor ownership.
#include "base/UniqueFd.h"

#include <unistd.h>

namespace corvelle {

UniqueFd::~UniqueFd() {
  if (m_fd >= 0) ::close(m_fd);
}

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = other.m_fd;
    other.m_fd = -1;
  }
  return *this;
}

}  // namespace corvelle
