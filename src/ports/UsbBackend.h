// SPDX-License-Identifier: MIT
// The USB kind: the printer's FTDI bridge, opened by its description; every write waits while
// the printer's last flow-control byte is XOFF.
#pragma once

#include <memory>

#include "ports/D2xx.h"
#include "ports/PortBackend.h"

namespace corvelle {

class UsbBackend : public PortBackend {
 public:
  static constexpr const char* kDescription = "Varnesi Bridge GN2";
  static constexpr unsigned kTimeoutMs = 3000;
  static constexpr unsigned kReadLimit = 600;
  static constexpr std::uint8_t kXon = 17;
  static constexpr std::uint8_t kXoff = 19;
  // Sleep between two flow-control checks.
  static constexpr std::int64_t kPermissionStepMs = 20;

  explicit UsbBackend(PortContext& context);
  ~UsbBackend() override;

  Outcome Open(const PortOpenArgs& args) override;
  // Waits for permission to send, then writes. Fails when cancelled while waiting, or when the
  // device does not take the bytes (said once per open).
  Outcome Write(const std::uint8_t* bytes, std::size_t count) override;
  void Purge() override;
  Outcome Close() override;

  // Checks until sending is allowed: each round pumps, reads up to 600 waiting bytes and keeps
  // the first as the flow byte, then sleeps. False when the cancel check is raised first, or
  // when the bridge has gone (its queue status says it is not found).
  bool WaitForPermission();

 private:
  bool CheckPermission();
  // Said once; later writes of this open send nothing.
  Outcome WriteFailed(int status, std::size_t count);

  PortContext& m_context;
  std::unique_ptr<D2xx> m_library;
  D2xxHandle m_hPort = 0;
  bool m_open = false;
  bool m_failed = false;
  int m_goneStatus = kD2xxOk;  // kD2xxDeviceNotFound once a check found the bridge gone
  unsigned m_bytesWritten = 0;
  std::uint8_t m_flowByte = kXon;
};

}  // namespace corvelle
