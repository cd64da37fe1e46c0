// SPDX-License-Identifier: MIT
// A stand-in FTD2XX.dll for the tests: one bridge whose description is "Varnesi Bridge GN2",
// every call appended as a line to the file named by CORVELLE_D2XX_LOG (name, arguments, then
// "->" and what the call answered: status 1 for a handle that is not the open device's), and the bytes each write took to that file's name with
// ".bytes" added. Steered by the environment, read at every call:
//   CORVELLE_D2XX_OPEN=N        FT_OpenEx answers status N (a matching open answers 0, else 2)
//   CORVELLE_D2XX_WRITE_LIMIT=N FT_Write takes at most N bytes a call, still answering 0
//   CORVELLE_D2XX_REPLY=HH      the byte (two hex digits) the printer sends, found by the first
//                               queue-status call of an open
//   CORVELLE_D2XX_XON_AFTER=N   after the Nth queue-status call of an open, an XON (17) arrives
// Built with CORVELLE_STANDIN_WITHOUT_READ it lacks FT_Read, as an incomplete library would.
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <string>

namespace {

using FtStatus = ULONG;
using FtHandle = void*;

constexpr FtStatus kOk = 0, kInvalidHandle = 1, kDeviceNotFound = 2, kInvalidParameter = 6;

// The one device: its handle while open, the bytes it has received and not yet handed out.
int g_device;
bool g_open = false;
std::string g_pending;
unsigned long g_queueChecks = 0;

// The steering variables are the process's from its start: the tests set them before they start
// the program that loads this library.
std::string Env(const char* name) { return std::getenv(name) ? std::getenv(name) : ""; }

// The number a steering variable holds, `otherwise` when it is not set.
unsigned long EnvNumber(const char* name, unsigned long otherwise) {
  return Env(name).empty() ? otherwise : std::strtoul(Env(name).c_str(), nullptr, 10);
}

void Append(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::app) << bytes;
}

bool Valid(FtHandle handle) { return g_open && handle == &g_device; }

// Records the call and what it answered.
FtStatus Answer(const std::string& call, FtStatus status, const std::string& out = {}) {
  const std::string log = Env("CORVELLE_D2XX_LOG");
  if (!log.empty()) Append(log, call + " -> " + std::to_string(status) + (out.empty() ? "" : " " + out) + "\n");
  return status;
}

}  // namespace

extern "C" {

__declspec(dllexport) FtStatus WINAPI FT_OpenEx(void* name, DWORD flags, FtHandle* handle) {
  const std::string description = name && flags == 2 ? static_cast<const char*>(name) : "";  // 2: by description
  const std::string call = "FT_OpenEx \"" + description + "\" " + std::to_string(flags);
  const FtStatus status = EnvNumber("CORVELLE_D2XX_OPEN", description == "Varnesi Bridge GN2" ? kOk : kDeviceNotFound);
  if (!handle) return Answer(call, kInvalidParameter);
  if (status == kOk) {
    g_open = true;
    g_pending.clear();
    g_queueChecks = 0;
    *handle = &g_device;
  }
  return Answer(call, status);
}

__declspec(dllexport) FtStatus WINAPI FT_ResetDevice(FtHandle handle) {
  return Answer("FT_ResetDevice", Valid(handle) ? kOk : kInvalidHandle);
}

__declspec(dllexport) FtStatus WINAPI FT_SetTimeouts(FtHandle handle, ULONG readMs, ULONG writeMs) {
  return Answer("FT_SetTimeouts " + std::to_string(readMs) + " " + std::to_string(writeMs),
                Valid(handle) ? kOk : kInvalidHandle);
}

__declspec(dllexport) FtStatus WINAPI FT_Purge(FtHandle handle, ULONG mask) {
  const FtStatus status = Valid(handle) ? kOk : kInvalidHandle;
  if (status == kOk && (mask & 1)) g_pending.clear();
  return Answer("FT_Purge " + std::to_string(mask), status);
}

__declspec(dllexport) FtStatus WINAPI FT_Write(FtHandle handle, void* buffer, DWORD count, DWORD* written) {
  const std::string call = "FT_Write " + std::to_string(count);
  if (!Valid(handle)) return Answer(call, kInvalidHandle);
  const DWORD taken = static_cast<DWORD>(std::min<unsigned long>(count, EnvNumber("CORVELLE_D2XX_WRITE_LIMIT", count)));
  if (written) *written = taken;
  if (const std::string log = Env("CORVELLE_D2XX_LOG"); !log.empty()) {
    Append(log + ".bytes", std::string(static_cast<const char*>(buffer), taken));
  }
  return Answer(call, kOk, std::to_string(taken));
}

__declspec(dllexport) FtStatus WINAPI FT_GetQueueStatus(FtHandle handle, DWORD* waiting) {
  const std::string call = "FT_GetQueueStatus";
  if (!Valid(handle)) return Answer(call, kInvalidHandle);
  const std::string reply = Env("CORVELLE_D2XX_REPLY");
  if (++g_queueChecks == 1 && !reply.empty()) g_pending += static_cast<char>(std::strtoul(reply.c_str(), nullptr, 16));
  if (g_queueChecks == EnvNumber("CORVELLE_D2XX_XON_AFTER", 0)) g_pending += '\x11';
  if (waiting) *waiting = static_cast<DWORD>(g_pending.size());
  return Answer(call, kOk, std::to_string(g_pending.size()));
}

#ifndef CORVELLE_STANDIN_WITHOUT_READ
__declspec(dllexport) FtStatus WINAPI FT_Read(FtHandle handle, void* buffer, DWORD count, DWORD* read) {
  const std::string call = "FT_Read " + std::to_string(count);
  if (!Valid(handle)) return Answer(call, kInvalidHandle);
  const DWORD taken = std::min(count, static_cast<DWORD>(g_pending.size()));
  std::memcpy(buffer, g_pending.data(), taken);
  g_pending.erase(0, taken);
  if (read) *read = taken;
  const auto byte = [&](DWORD i) { return static_cast<const unsigned char*>(buffer)[i]; };
  std::string hex;  // the bytes read, two hex digits each
  for (DWORD i = 0; i < taken; ++i) hex += {"0123456789abcdef"[byte(i) >> 4], "0123456789abcdef"[byte(i) & 15]};
  return Answer(call, kOk, hex);
}
#endif

__declspec(dllexport) FtStatus WINAPI FT_Close(FtHandle handle) {
  const std::string call = "FT_Close";
  if (!Valid(handle)) return Answer(call, kInvalidHandle);
  g_open = false;
  return Answer(call, kOk);
}

}  // extern "C"
