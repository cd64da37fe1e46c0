// SPDX-License-Identifier: MIT
// STOP over a manual-reset event: WaitForMultipleObjects on it wakes the moment it is raised, and
// SetEvent is safe from the console control handler's thread.
#include <windows.h>

#include "base/StopSignal.h"

namespace corvelle {
namespace {

HANDLE EventOf(NativeHandle handle) { return reinterpret_cast<HANDLE>(handle); }

}  // namespace

StopSignal::StopSignal() {
  if (const HANDLE event = ::CreateEventW(nullptr, TRUE, FALSE, nullptr)) m_handle = reinterpret_cast<NativeHandle>(event);
}

StopSignal::~StopSignal() {
  if (m_handle != kNoHandle) ::CloseHandle(EventOf(m_handle));
}

void StopSignal::Raise() {
  m_raised.store(true, std::memory_order_release);
  if (m_handle != kNoHandle) ::SetEvent(EventOf(m_handle));
}

void StopSignal::Clear() {
  m_raised.store(false, std::memory_order_release);
  if (m_handle != kNoHandle) ::ResetEvent(EventOf(m_handle));
}

}  // namespace corvelle
