// SPDX-License-Identifier: MIT
// The USB bridge library as the USB kind uses it: the calls of the FTDI D2XX interface, each
// returning a status where 0 means success. FtdiD2xx implements it over libftdi1, D2xxDll over the
// vendor's FTD2XX.dll on Windows; tests use a fake.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

namespace corvelle {

using D2xxHandle = std::uintptr_t;

// Status values, numbered as the D2XX interface numbers them.
enum D2xxStatus : int {
  kD2xxOk = 0,
  kD2xxInvalidHandle = 1,
  kD2xxDeviceNotFound = 2,
  kD2xxDeviceNotOpened = 3,
  kD2xxIoError = 4,
  kD2xxInsufficientResources = 5,
  kD2xxInvalidParameter = 6,
};

inline constexpr unsigned kD2xxOpenByDescription = 2;
inline constexpr unsigned kD2xxPurgeRx = 1;
inline constexpr unsigned kD2xxPurgeTx = 2;

class D2xx {
 public:
  virtual ~D2xx() = default;

  // Opens the device named by `name`; with kD2xxOpenByDescription the name is the product
  // description, matched exactly.
  virtual int OpenEx(const std::string& name, unsigned flags, D2xxHandle* handle) = 0;
  virtual int ResetDevice(D2xxHandle handle) = 0;
  virtual int SetTimeouts(D2xxHandle handle, unsigned readMs, unsigned writeMs) = 0;
  // Discards received (kD2xxPurgeRx) and/or unsent (kD2xxPurgeTx) bytes.
  virtual int Purge(D2xxHandle handle, unsigned mask) = 0;
  virtual int Write(D2xxHandle handle, const void* buffer, unsigned count, unsigned* written) = 0;
  // Number of received bytes waiting to be read.
  virtual int GetQueueStatus(D2xxHandle handle, unsigned* waiting) = 0;
  virtual int Read(D2xxHandle handle, void* buffer, unsigned count, unsigned* read) = 0;
  virtual int Close(D2xxHandle handle) = 0;
  // Why no device can be opened through this library at all (it is missing or incomplete), as a
  // line for below the opening error; empty when the library is usable.
  virtual std::string Unavailable() const { return {}; }
};

// The system's implementation: libftdi1 on Linux, FTD2XX.dll on Windows.
std::unique_ptr<D2xx> MakeFtdiD2xx();

}  // namespace corvelle
