// SPDX-License-Identifier: MIT
// The platform-free part of the printer locks: lock file names and holder records.
#include "base/PrinterLock.h"

#include <utility>

#include "base/Sha256.h"

namespace corvelle {
namespace {

constexpr std::size_t kReadablePart = 64;
constexpr std::size_t kDigestPart = 16;
constexpr std::size_t kMaxProgramName = 128;
constexpr std::size_t kMaxProcessDigits = 20;

bool Readable(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

}  // namespace

PrinterLock::~PrinterLock() { Release(); }

PrinterLock::PrinterLock(PrinterLock&& other) noexcept
    : m_state(std::exchange(other.m_state, State::Unusable)),
      m_text(std::move(other.m_text)),
      m_handle(std::exchange(other.m_handle, kNoHandle)) {}

PrinterLock& PrinterLock::operator=(PrinterLock&& other) noexcept {
  if (this != &other) {
    Release();
    m_state = std::exchange(other.m_state, State::Unusable);
    m_text = std::move(other.m_text);
    m_handle = std::exchange(other.m_handle, kNoHandle);
  }
  return *this;
}

std::string PrinterLockFileName(const std::string& printer) {
  std::string name;
  for (const char c : printer.substr(0, kReadablePart)) name += Readable(c) ? c : '_';
  return name + "-" + Sha256Hex(printer).substr(0, kDigestPart) + ".lock";
}

std::string HolderRecord(const std::string& program, long long processId) {
  std::string name;
  for (const char c : program.substr(0, kMaxProgramName)) name += static_cast<unsigned char>(c) > ' ' ? c : '_';
  return name + " " + std::to_string(processId) + "\n";
}

std::string HolderText(const std::string& record) {
  const std::size_t space = record.find(' ');
  const std::size_t end = record.find('\n');
  if (space == 0 || space == std::string::npos || end == std::string::npos || end < space + 2 ||
      end - space - 1 > kMaxProcessDigits) {
    return "another program";
  }
  const std::string program = record.substr(0, space);
  const std::string number = record.substr(space + 1, end - space - 1);
  for (const char c : number) {
    if (c < '0' || c > '9') return "another program";
  }
  for (const char c : program) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7F) return "another program";
  }
  return program + " (process " + number + ")";
}

}  // namespace corvelle
