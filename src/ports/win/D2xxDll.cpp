// SPDX-License-Identifier: MIT
// The USB library interface on Windows: the vendor's D2XX driver library, FTD2XX.dll, loaded the
// first time the USB kind opens and kept for the rest of the run. Each call goes to the library's
// function of the same meaning, its status passed on unchanged. A missing library, or one that
// lacks any of the functions, makes every open fail as "device not found", with the reason.
#include <windows.h>

#include <climits>
#include <string>

#include "ports/D2xx.h"

namespace corvelle {
namespace {

// The library's own types: a status (0 for success), an opaque device handle, 32-bit counts.
using FtStatus = ULONG;
using FtHandle = void*;

using OpenExFn = FtStatus(WINAPI*)(void* name, DWORD flags, FtHandle* handle);
using HandleFn = FtStatus(WINAPI*)(FtHandle handle);
using SetTimeoutsFn = FtStatus(WINAPI*)(FtHandle handle, ULONG readMs, ULONG writeMs);
using PurgeFn = FtStatus(WINAPI*)(FtHandle handle, ULONG mask);
using TransferFn = FtStatus(WINAPI*)(FtHandle handle, void* buffer, DWORD count, DWORD* done);
using QueueStatusFn = FtStatus(WINAPI*)(FtHandle handle, DWORD* waiting);

constexpr const wchar_t* kLibraryName = L"FTD2XX.dll";

struct Library {
  OpenExFn openEx = nullptr;
  HandleFn resetDevice = nullptr;
  SetTimeoutsFn setTimeouts = nullptr;
  PurgeFn purge = nullptr;
  TransferFn write = nullptr;
  QueueStatusFn getQueueStatus = nullptr;
  TransferFn read = nullptr;
  HandleFn close = nullptr;
  // Empty when every function was found; else the line saying why the library cannot be used.
  std::string unavailable;
};

// The library's function `name` into `fn`; the first one not found is named in `missing`.
template <typename Fn>
void Take(HMODULE module, const char* name, Fn& fn, std::string& missing) {
  fn = reinterpret_cast<Fn>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
  if (!fn && missing.empty()) missing = name;
}

// Looked for in the program's folder and the system folders only: never in the current folder
// or along PATH, where any file of that name would be run inside this program.
Library Load() {
  Library lib;
  const HMODULE module = ::LoadLibraryExW(kLibraryName, nullptr, LOAD_LIBRARY_SEARCH_DEFAULT_DIRS);
  if (!module) {
    lib.unavailable = "The D2XX driver library (FTD2XX.dll) is not installed.";
    return lib;
  }
  std::string missing;
  Take(module, "FT_OpenEx", lib.openEx, missing);
  Take(module, "FT_ResetDevice", lib.resetDevice, missing);
  Take(module, "FT_SetTimeouts", lib.setTimeouts, missing);
  Take(module, "FT_Purge", lib.purge, missing);
  Take(module, "FT_Write", lib.write, missing);
  Take(module, "FT_GetQueueStatus", lib.getQueueStatus, missing);
  Take(module, "FT_Read", lib.read, missing);
  Take(module, "FT_Close", lib.close, missing);
  if (!missing.empty()) {
    // Kept loaded: unloading a library that may have started threads of its own is not safe.
    lib = Library{};
    lib.unavailable = "The installed D2XX driver library (FTD2XX.dll) lacks " + missing + ".";
  }
  return lib;
}

const Library& TheLibrary() {
  static const Library library = Load();
  return library;
}

FtHandle ToFt(D2xxHandle handle) { return reinterpret_cast<FtHandle>(handle); }

int ToStatus(FtStatus status) { return status > INT_MAX ? INT_MAX : static_cast<int>(status); }

class D2xxDll : public D2xx {
 public:
  D2xxDll() : m(TheLibrary()) {}

  int OpenEx(const std::string& name, unsigned flags, D2xxHandle* handle) override {
    if (!m.unavailable.empty()) return kD2xxDeviceNotFound;
    if (!handle) return kD2xxInvalidParameter;
    // The library takes the description as a plain character string it does not change.
    std::string copy = name;
    FtHandle ft = nullptr;
    const FtStatus status = m.openEx(copy.data(), flags, &ft);
    if (status == 0) *handle = reinterpret_cast<D2xxHandle>(ft);
    return ToStatus(status);
  }
  int ResetDevice(D2xxHandle handle) override { return Call(m.resetDevice, handle); }
  int SetTimeouts(D2xxHandle handle, unsigned readMs, unsigned writeMs) override {
    return m.setTimeouts ? ToStatus(m.setTimeouts(ToFt(handle), readMs, writeMs)) : kD2xxInvalidHandle;
  }
  int Purge(D2xxHandle handle, unsigned mask) override {
    return m.purge ? ToStatus(m.purge(ToFt(handle), mask)) : kD2xxInvalidHandle;
  }
  int Write(D2xxHandle handle, const void* buffer, unsigned count, unsigned* written) override {
    DWORD done = 0;
    // The library's write takes a writable pointer but only reads the bytes.
    const int status =
        m.write ? ToStatus(m.write(ToFt(handle), const_cast<void*>(buffer), count, &done)) : kD2xxInvalidHandle;
    // A library that claims more than it was given has not sent what it claims.
    if (written) *written = done > count ? 0 : done;
    return status;
  }
  int GetQueueStatus(D2xxHandle handle, unsigned* waiting) override {
    DWORD count = 0;
    const int status = m.getQueueStatus ? ToStatus(m.getQueueStatus(ToFt(handle), &count)) : kD2xxInvalidHandle;
    if (waiting) *waiting = count;
    return status;
  }
  int Read(D2xxHandle handle, void* buffer, unsigned count, unsigned* read) override {
    DWORD done = 0;
    const int status = m.read ? ToStatus(m.read(ToFt(handle), buffer, count, &done)) : kD2xxInvalidHandle;
    if (read) *read = done > count ? count : done;
    return status;
  }
  int Close(D2xxHandle handle) override { return Call(m.close, handle); }
  std::string Unavailable() const override { return m.unavailable; }

 private:
  static int Call(HandleFn fn, D2xxHandle handle) { return fn ? ToStatus(fn(ToFt(handle))) : kD2xxInvalidHandle; }

  const Library& m;
};

}  // namespace

std::unique_ptr<D2xx> MakeFtdiD2xx() { return std::make_unique<D2xxDll>(); }

}  // namespace corvelle
