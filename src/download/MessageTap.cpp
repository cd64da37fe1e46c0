// SPDX-License-Identifier: MIT
// The recording Host wrapper of a download.
#include "download/MessageTap.h"

#include <algorithm>

namespace corvelle {

MessageAnswer MessageTap::ShowMessage(const std::string& text, MessageStyle style) {
  m_lastMessage = text;
  return m_inner.ShowMessage(text, style);
}

void MessageTap::ShowDetail(const std::string& text) {
  if (!m_lastMessage.empty()) m_lastMessage += '\n' + text;
  m_inner.ShowDetail(text);
}

std::optional<std::string> MessageTap::AskSavePath(const SaveDialogRequest& request) {
  std::optional<std::string> path = m_inner.AskSavePath(request);
  if (path && std::find(m_savedFiles.begin(), m_savedFiles.end(), *path) == m_savedFiles.end()) {
    m_savedFiles.push_back(*path);
  }
  if (path && acceptSavePath && !acceptSavePath(*path)) return std::nullopt;
  return path;
}

}  // namespace corvelle
