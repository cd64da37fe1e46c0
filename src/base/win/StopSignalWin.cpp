// SPDX-License-Identifier: MIT
// STOP over a manual-reset event: WaitForMultipleObjects on it wakes the moment it is raised, and
// SetEvent is safe from the console control handler's thread.
#include <windows.h>

#include "base/StopSignal.h"

namespace corvelle {

StopSignal::StopSignal() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}

StopSignal::~StopSignal() {
  if (m_event) ::CloseHandle(m_event);
}

void StopSignal::Raise() {
  m_raised.store(true, std::memory_order_release);
  if (m_event) ::SetEvent(m_event);
}

void StopSignal::Clear() {
  m_raised.store(false, std::memory_order_release);
  if (m_event) ::ResetEvent(m_event);
}

}  // namespace corvelle
