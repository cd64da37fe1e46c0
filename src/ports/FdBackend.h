// SPDX-License-Identifier: MIT
// What the kinds that write to a file descriptor share (COM, LPT, FILE): the descriptor, writes
// finished as the descriptor takes them, and one report of a write that fails.
#pragma once

#include <string>

#include "base/Host.h"
#include "ports/PortBackend.h"

namespace corvelle {

class FdBackend : public PortBackend {
 public:
  // A failed write says `failureText` + the path + the system's reason, in `failureStyle`.
  FdBackend(PortContext& context, std::string failureText, MessageStyle failureStyle);
  ~FdBackend() override;

  // Fails when cancelled, or when the descriptor refuses the bytes (said once per open).
  Outcome Write(const std::uint8_t* bytes, std::size_t count) override;
  Outcome Close() override {
    Release();
    return {};
  }

 protected:
  virtual void Release();

  PortContext& m_context;
  std::string m_path;
  int m_fd = -1;

 private:
  std::string m_failureText;
  MessageStyle m_failureStyle;
  bool m_failed = false;
};

}  // namespace corvelle
