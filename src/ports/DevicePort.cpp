// SPDX-License-Identifier: MIT
// The device port: chooses the kind, and hands every operation to that kind's backend.
#include "ports/DevicePort.h"

#include <cstdint>
#include <cstring>

#include "base/Host.h"

namespace corvelle {

CDevicePort::CDevicePort(Host& host, PortEnvironment env) : m_env(std::move(env)), m_context{host, m_env, {}} {
  if (!m_env.backendFactory) m_env.backendFactory = MakeSystemBackend;
}

CDevicePort::~CDevicePort() = default;

Outcome CDevicePort::Open(PortOpenArgs args) {
  if (m_open) Close();
  m_portName = args.portName;
  const PortKind kind = KindFromName(args.portName);
  m_backend.reset();
  // A name that reaches no port would take every byte and send none of them.
  if (!IsKnownPortName(args.portName)) return Outcome::Failure(UnknownPortText(args.portName));
  m_kind = kind;
  auto backend = m_env.backendFactory(kind, m_context);
  if (!backend) return Outcome::Quiet();
  if (Outcome opened = backend->Open(args); !opened) return opened;
  m_backend = std::move(backend);
  m_open = true;
  return {};
}

Outcome CDevicePort::Write(const void* bytes, std::size_t count) {
  if (!m_open) return Outcome::Quiet();
  Outcome delivered;
  if (m_backend) delivered = m_backend->Write(static_cast<const std::uint8_t*>(bytes), count);
  PumpMessages();
  return delivered;
}

Outcome CDevicePort::WriteText(const char* text) { return Write(text, text ? std::strlen(text) : 0); }

void CDevicePort::Purge() {
  if (m_backend) m_backend->Purge();
}

Outcome CDevicePort::DrainOutput() { return m_backend ? m_backend->DrainOutput() : Outcome{}; }
Outcome CDevicePort::FinishOutput() { return m_backend ? m_backend->FinishOutput() : Outcome{}; }

Outcome CDevicePort::Close() {
  Outcome closed;
  if (m_backend) closed = m_backend->Close();
  m_backend.reset();
  m_open = false;
  return closed;
}

void CDevicePort::PumpMessages() {
  m_context.host.PumpMessages();
  if (m_backend) m_backend->PumpEvents();
}

long CDevicePort::QueuedOutput() { return m_backend ? m_backend->QueuedOutput() : 0; }

void CDevicePort::SetCancelCheck(std::function<bool()> cancelled) { m_context.cancelCheck = std::move(cancelled); }

void CDevicePort::SetOutputWatch(std::function<void()> watch) { m_context.outputWatch = std::move(watch); }

void CDevicePort::SetOutputChosen(std::function<Outcome(const std::string& path)> chosen) {
  m_context.outputChosen = std::move(chosen);
}

}  // namespace corvelle
