// SPDX-License-Identifier: MIT
// A Host that passes everything to the host it wraps and keeps what a record of the download
// needs: the last message the user was shown (with its detail) and the files the save dialogs
// answered.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "base/Host.h"

namespace corvelle {

class MessageTap : public Host {
 public:
  explicit MessageTap(Host& inner) : m_inner(inner) {}

  std::int64_t Now() override { return m_inner.Now(); }
  void WaitFor(std::int64_t ms, WaitMode mode) override { m_inner.WaitFor(ms, mode); }
  bool WaitForFd(NativeHandle fd, FdEvent event, std::int64_t timeoutMs) override {
    return m_inner.WaitForFd(fd, event, timeoutMs);
  }
  void PumpMessages() override { m_inner.PumpMessages(); }
  MessageAnswer ShowMessage(const std::string& text, MessageStyle style) override;
  std::optional<std::string> AskSavePath(const SaveDialogRequest& request) override;
  void SetBusy(bool busy) override { m_inner.SetBusy(busy); }
  std::unique_ptr<ProgressView> CreateProgressView() override { return m_inner.CreateProgressView(); }
  const StopSignal* Stop() const override { return m_inner.Stop(); }
  void ShowDetail(const std::string& text) override;

  // The last message and, on lines below it, its details; "" when none was shown.
  const std::string& LastMessage() const { return m_lastMessage; }
  // Each file a save dialog answered, in order, once.
  const std::vector<std::string>& SavedFiles() const { return m_savedFiles; }

  // Asked with each file a save dialog answers; false makes the answer a cancel, once it has
  // told the user why (the file is kept among the saved files all the same).
  std::function<bool(const std::string& path)> acceptSavePath;

 private:
  Host& m_inner;
  std::string m_lastMessage;
  std::vector<std::string> m_savedFiles;
};

}  // namespace corvelle
