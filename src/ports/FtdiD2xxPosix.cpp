// SPDX-License-Identifier: MIT
// The USB library interface over libftdi1. The bridge is found by its product description among
// every USB device present, whatever its vendor and product ID. libftdi has no count of waiting
// received bytes, so the queue status reads what the bridge has into a bounded buffer of our own
// and reports its size; Read then serves from that buffer first.
#include <libftdi1/ftdi.h>
#include <libusb.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <string>

#include "ports/D2xx.h"

namespace corvelle {
namespace {

constexpr std::size_t kPendingLimit = 64 * 1024;
constexpr std::size_t kStringLength = 128;
// Every flow-control check is a bulk read, which the bridge answers only when it has bytes or its
// latency timer runs out. At the chip's default of 16 ms the checks before each 512-byte chunk
// would add 43 s to a 1.4 MB area; at 1 ms they add under 3 s.
constexpr unsigned char kLatencyMs = 1;

// libftdi passes libusb's error codes on; a bridge that has been pulled out is not found, any
// other failure is an I/O error.
int StatusOf(int libftdiResult) { return libftdiResult == LIBUSB_ERROR_NO_DEVICE ? kD2xxDeviceNotFound : kD2xxIoError; }

struct Device {
  ftdi_context* context = nullptr;
  std::string pending;  // received bytes not yet handed out
};

class FtdiD2xx : public D2xx {
 public:
  ~FtdiD2xx() override {
    for (auto& [handle, device] : m_devices) Release(device);
  }

  int OpenEx(const std::string& name, unsigned flags, D2xxHandle* handle) override {
    if (flags != kD2xxOpenByDescription || !handle) return kD2xxInvalidParameter;
    ftdi_context* context = ftdi_new();
    if (!context) return kD2xxInsufficientResources;
    const int status = OpenByDescription(context, name);
    if (status != kD2xxOk) {
      ftdi_free(context);
      return status;
    }
    // A bridge that keeps the default still works, only more slowly.
    ftdi_set_latency_timer(context, kLatencyMs);
    *handle = ++m_lastHandle;
    m_devices[*handle].context = context;
    return kD2xxOk;
  }

  int ResetDevice(D2xxHandle handle) override {
    Device* d = Find(handle);
    if (!d) return kD2xxInvalidHandle;
    d->pending.clear();
    return ftdi_usb_reset(d->context) == 0 ? kD2xxOk : kD2xxIoError;
  }

  int SetTimeouts(D2xxHandle handle, unsigned readMs, unsigned writeMs) override {
    Device* d = Find(handle);
    if (!d) return kD2xxInvalidHandle;
    d->context->usb_read_timeout = static_cast<int>(std::min(readMs, 600'000u));
    d->context->usb_write_timeout = static_cast<int>(std::min(writeMs, 600'000u));
    return kD2xxOk;
  }

  int Purge(D2xxHandle handle, unsigned mask) override {
    Device* d = Find(handle);
    if (!d) return kD2xxInvalidHandle;
    int result = 0;
    if (mask & kD2xxPurgeRx) {
      d->pending.clear();
      result |= ftdi_tciflush(d->context);
    }
    if (mask & kD2xxPurgeTx) result |= ftdi_tcoflush(d->context);
    return result == 0 ? kD2xxOk : kD2xxIoError;
  }

  int Write(D2xxHandle handle, const void* buffer, unsigned count, unsigned* written) override {
    Device* d = Find(handle);
    if (!d) return kD2xxInvalidHandle;
    const auto* bytes = static_cast<const unsigned char*>(buffer);
    unsigned done = 0;
    int status = kD2xxOk;
    while (done < count) {
      const int chunk = static_cast<int>(std::min<unsigned>(count - done, 1u << 20));
      const int n = ftdi_write_data(d->context, bytes + done, chunk);
      if (n <= 0) {
        status = n < 0 ? StatusOf(n) : kD2xxIoError;
        break;
      }
      done += static_cast<unsigned>(n);
    }
    if (written) *written = done;
    return status;
  }

  int GetQueueStatus(D2xxHandle handle, unsigned* waiting) override {
    Device* d = Find(handle);
    if (!d || !waiting) return kD2xxInvalidHandle;
    if (d->pending.size() < kPendingLimit) {
      unsigned char buffer[4096];
      const std::size_t room = std::min(sizeof buffer, kPendingLimit - d->pending.size());
      const int n = ftdi_read_data(d->context, buffer, static_cast<int>(room));
      if (n < 0) return StatusOf(n);
      d->pending.append(reinterpret_cast<const char*>(buffer), static_cast<std::size_t>(n));
    }
    *waiting = static_cast<unsigned>(d->pending.size());
    return kD2xxOk;
  }

  int Read(D2xxHandle handle, void* buffer, unsigned count, unsigned* read) override {
    Device* d = Find(handle);
    if (!d) return kD2xxInvalidHandle;
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = std::min<std::size_t>(count, d->pending.size());
    std::memcpy(out, d->pending.data(), done);
    d->pending.erase(0, done);
    int status = kD2xxOk;
    if (done < count) {
      const int n = ftdi_read_data(d->context, out + done, static_cast<int>(count - done));
      if (n < 0) {
        status = StatusOf(n);
      } else {
        done += static_cast<std::size_t>(n);
      }
    }
    if (read) *read = static_cast<unsigned>(done);
    return status;
  }

  int Close(D2xxHandle handle) override {
    auto it = m_devices.find(handle);
    if (it == m_devices.end()) return kD2xxInvalidHandle;
    Release(it->second);
    m_devices.erase(it);
    return kD2xxOk;
  }

 private:
  // Opens the first USB device whose product description is exactly `description`, of any vendor
  // and product ID (libftdi's own search knows only FTDI's stock IDs); a status. A device whose
  // product string cannot be read (none, or no permission) is passed over.
  static int OpenByDescription(ftdi_context* context, const std::string& description) {
    libusb_device** list = nullptr;
    const ssize_t count = libusb_get_device_list(context->usb_ctx, &list);
    if (count < 0) return kD2xxDeviceNotFound;
    int status = kD2xxDeviceNotFound;
    for (ssize_t i = 0; i < count; ++i) {
      char product[kStringLength] = {};
      if (ftdi_usb_get_strings(context, list[i], nullptr, 0, product, kStringLength, nullptr, 0) != 0 ||
          description != product) {
        continue;
      }
      status = ftdi_usb_open_dev(context, list[i]) == 0 ? kD2xxOk : kD2xxDeviceNotOpened;
      break;
    }
    libusb_free_device_list(list, 1);
    return status;
  }

  static void Release(Device& device) {
    if (!device.context) return;
    ftdi_usb_close(device.context);
    ftdi_free(device.context);
    device.context = nullptr;
  }

  Device* Find(D2xxHandle handle) {
    auto it = m_devices.find(handle);
    return it == m_devices.end() ? nullptr : &it->second;
  }

  std::map<D2xxHandle, Device> m_devices;
  D2xxHandle m_lastHandle = 0;
};

}  // namespace

std::unique_ptr<D2xx> MakeFtdiD2xx() { return std::make_unique<FtdiD2xx>(); }

}  // namespace corvelle
