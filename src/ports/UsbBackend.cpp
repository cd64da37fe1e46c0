// SPDX-License-Identifier: MIT
// USB bridge with XON/XOFF flow control from the printer.
#include "ports/UsbBackend.h"

#include <algorithm>
#include <climits>
#include <cstdio>

#include "base/Host.h"
#include "ports/PortEnvironment.h"

namespace corvelle {
namespace {

std::string OpeningError(int status) {
  char text[64];
  std::snprintf(text, sizeof text, "USB device opening error #%02i", status);
  return text;
}

}  // namespace

UsbBackend::UsbBackend(PortContext& context) : m_context(context) {}

UsbBackend::~UsbBackend() { Close(); }

Outcome UsbBackend::Open(const PortOpenArgs&) {
  m_flowByte = kXon;
  m_goneStatus = kD2xxOk;
  m_library = m_context.env.usbLibrary ? m_context.env.usbLibrary() : MakeFtdiD2xx();
  int status = m_library ? m_library->OpenEx(kDescription, kD2xxOpenByDescription, &m_hPort) : kD2xxDeviceNotFound;
  if (status != kD2xxOk) {
    return Outcome::Failure(OpeningError(status), MessageStyle::Error, m_library ? m_library->Unavailable() : "");
  }
  m_open = true;
  m_library->ResetDevice(m_hPort);
  m_library->SetTimeouts(m_hPort, kTimeoutMs, kTimeoutMs);
  status = m_library->Purge(m_hPort, kD2xxPurgeRx);
  if (status != kD2xxOk) {
    // Released at once, so that the next attempt can open the bridge again.
    Close();
    return Outcome::Failure(OpeningError(status), MessageStyle::Error);
  }
  return {};
}

Outcome UsbBackend::Write(const std::uint8_t* bytes, std::size_t count) {
  if (!m_open || m_failed) return Outcome::Quiet();
  m_bytesWritten = 0;
  if (!WaitForPermission()) return m_goneStatus != kD2xxOk ? WriteFailed(m_goneStatus, count) : Outcome::Stop();
  if (count == 0) return {};
  const unsigned size = static_cast<unsigned>(std::min<std::size_t>(count, UINT_MAX));
  const int status = m_library->Write(m_hPort, bytes, size, &m_bytesWritten);
  if (status == kD2xxOk && m_bytesWritten == count) return {};
  return WriteFailed(status, count);
}

Outcome UsbBackend::WriteFailed(int status, std::size_t count) {
  m_failed = true;
  char text[96];
  std::snprintf(text, sizeof text, "USB device write error #%02i\n%u of %zu bytes were sent.", status, m_bytesWritten,
                count);
  return Outcome::Failure(text, MessageStyle::Error);
}

bool UsbBackend::WaitForPermission() {
  for (;;) {
    m_context.host.PumpMessages();
    if (CheckPermission()) return true;
    if (m_goneStatus != kD2xxOk || m_context.Cancelled()) return false;
    m_context.host.WaitFor(kPermissionStepMs);
  }
}

bool UsbBackend::CheckPermission() {
  unsigned waiting = 0;
  const int status = m_library->GetQueueStatus(m_hPort, &waiting);
  // A failed check only withholds permission, except for a bridge that has gone: no answer will
  // ever come from it.
  if (status == kD2xxDeviceNotFound) m_goneStatus = status;
  if (status != kD2xxOk) return false;
  if (waiting > 0) {
    std::uint8_t buffer[kReadLimit];
    unsigned read = 0;
    const int status = m_library->Read(m_hPort, buffer, std::min(waiting, kReadLimit), &read);
    read = std::min(read, kReadLimit);
    if ((status == kD2xxOk || status == kD2xxIoError) && read > 0) m_flowByte = buffer[0];
  }
  return m_flowByte != kXoff;
}

void UsbBackend::Purge() {
  if (m_open) m_library->Purge(m_hPort, kD2xxPurgeRx | kD2xxPurgeTx);
}

Outcome UsbBackend::Close() {
  if (m_open) m_library->Close(m_hPort);
  m_open = false;
  return {};
}

}  // namespace corvelle
