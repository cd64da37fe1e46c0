// SPDX-License-Identifier: MIT
// The client socket's notification handling that every platform shares: the connect error's
// messages, the printer's close, and the received text.
#include <algorithm>
#include <cstdio>

#include "base/Host.h"
#include "ports/ClientSocket.h"

namespace corvelle {

void CClientSocket::KeepReceived(char* bytes, std::size_t n) {
  std::replace(bytes, bytes + n, '\0', '\x01');
  m_strReceived.append(bytes, n);
  if (m_strReceived.size() > kReceivedTextLimit) m_strReceived.erase(0, m_strReceived.size() - kReceivedTextLimit);
  m_nReceived += static_cast<std::int64_t>(n);
}

void CClientSocket::OnConnect(int error) {
  if (error == 0) return;
  char text[256];
  std::snprintf(text, sizeof text, "OnConnect error: %d", error);
  m_host.ShowMessage(text, MessageStyle::Plain);
  m_host.ShowMessage("Please close the application", MessageStyle::Plain);
}

void CClientSocket::OnClose() { m_peerClosed = true; }

}  // namespace corvelle
