// SPDX-License-Identifier: MIT
// The stand-in libusb-1.0's transfers, answered as an FTDI serial bridge answers them: its vendor
// control requests (reset, purge, latency timer, modem status, line settings), bulk OUT bytes
// carried to the printer simulator, and bulk IN packets that start with the two modem-status
// bytes and carry what the printer sent. Once the simulator hangs up every transfer fails with
// LIBUSB_ERROR_NO_DEVICE, as for a bridge pulled out.
#include <poll.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "Standin.h"

namespace kervusb {
namespace {

// Vendor requests to the device, out of and into the host.
constexpr std::uint8_t kVendorOut = 0x40;
constexpr std::uint8_t kVendorIn = 0xC0;

// FTDI vendor requests and the reset request's values.
enum Request : std::uint8_t {
  kReset = 0x00,
  kModemControl = 0x01,
  kFlowControl = 0x02,
  kBaudRate = 0x03,
  kLineData = 0x04,
  kPollModemStatus = 0x05,
  kEventChar = 0x06,
  kErrorChar = 0x07,
  kSetLatency = 0x09,
  kGetLatency = 0x0A,
};
constexpr std::uint16_t kResetPort = 0;
constexpr std::uint16_t kPurgeTransmit = 1;  // the chip's FIFO towards the serial line
constexpr std::uint16_t kPurgeReceive = 2;   // the chip's FIFO towards the host

// CTS and DSR on; transmitter holding register and shift register empty.
constexpr std::uint8_t kModemStatus[2] = {0x31, 0x60};
constexpr std::size_t kPacketSize = 64;

Record& RecordOf(libusb_device_handle* handle) { return handle->device->context->record; }

bool Linked(const libusb_device_handle* handle) { return handle->link.Connected(); }

// The device has gone: the simulator hung up on the bridge.
bool Vanished(libusb_device_handle* handle) {
  if (!handle->link.Gone()) return false;
  if (handle->claimed || handle->link.Connected()) {
    RecordOf(handle).Line("gone " + IdText(handle->device->spec));
    handle->link.Close();
  }
  return true;
}

int PurgeReceive(libusb_device_handle* handle) {
  handle->received.clear();
  if (Linked(handle) && handle->link.Discard() == SimLink::Result::Gone) return LIBUSB_ERROR_NO_DEVICE;
  return LIBUSB_SUCCESS;
}

std::string Hex(const std::uint8_t* bytes, std::size_t count) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < count; ++i) {
    std::snprintf(byte, sizeof byte, i == 0 ? "%02x" : " %02x", bytes[i]);
    text += byte;
  }
  return text;
}

int VendorOut(libusb_device_handle* handle, std::uint8_t request, std::uint16_t value, std::uint16_t index) {
  Record& record = RecordOf(handle);
  char text[64];
  switch (request) {
    case kReset:
      if (value == kResetPort) {
        record.Line("control reset");
        return PurgeReceive(handle);
      }
      if (value == kPurgeReceive) {
        record.Line("control purge-receive");
        return PurgeReceive(handle);
      }
      if (value == kPurgeTransmit) {
        // What the bridge took has already gone down the cable.
        record.Line("control purge-transmit");
        return LIBUSB_SUCCESS;
      }
      break;
    case kSetLatency:
      if (value < 1 || value > 255) break;
      handle->latencyMs = value;
      record.Line("control latency " + std::to_string(value));
      return LIBUSB_SUCCESS;
    case kModemControl:
    case kFlowControl:
    case kBaudRate:
    case kLineData:
    case kEventChar:
    case kErrorChar: {
      static const char* const names[] = {"", "modem-control", "flow-control", "baud-rate", "line-data",
                                          "", "event-char",    "error-char"};
      std::snprintf(text, sizeof text, "control %s %04x %04x", names[request], value, index);
      record.Line(text);
      return LIBUSB_SUCCESS;
    }
    default:
      break;
  }
  std::snprintf(text, sizeof text, "control refused 40 %02x %04x %04x", request, value, index);
  record.Line(text);
  return LIBUSB_ERROR_PIPE;
}

int VendorIn(libusb_device_handle* handle, std::uint8_t request, unsigned char* data, std::uint16_t length) {
  Record& record = RecordOf(handle);
  if (request == kPollModemStatus && length >= 2) {
    std::memcpy(data, kModemStatus, 2);
    record.Line("control modem-status");
    return 2;
  }
  if (request == kGetLatency && length >= 1) {
    data[0] = static_cast<unsigned char>(handle->latencyMs);
    record.Line("control latency?");
    return 1;
  }
  char text[48];
  std::snprintf(text, sizeof text, "control refused c0 %02x", request);
  record.Line(text);
  return LIBUSB_ERROR_PIPE;
}

int BulkOut(libusb_device_handle* handle, const unsigned char* data, int length, int* transferred, unsigned timeoutMs) {
  std::size_t sent = static_cast<std::size_t>(length);
  SimLink::Result result = SimLink::Result::Ok;
  // A bridge with no simulator behind it, and every other device, takes the bytes and drops them.
  if (Linked(handle)) result = handle->link.Send(data, sent, static_cast<int>(timeoutMs), sent);
  if (transferred) *transferred = static_cast<int>(sent);
  if (sent > 0) RecordOf(handle).Line("out " + std::to_string(sent));
  if (result == SimLink::Result::Gone && Vanished(handle)) return LIBUSB_ERROR_NO_DEVICE;
  return result == SimLink::Result::Timeout ? LIBUSB_ERROR_TIMEOUT : LIBUSB_SUCCESS;
}

// One packet: the two modem-status bytes and up to 62 received bytes. With nothing received the
// packet comes when the latency timer runs out.
int BulkIn(libusb_device_handle* handle, unsigned char* data, int length, int* transferred, unsigned timeoutMs) {
  if (length < 2) return LIBUSB_ERROR_OVERFLOW;
  int waitMs = handle->latencyMs;
  if (timeoutMs > 0) waitMs = std::min(waitMs, static_cast<int>(timeoutMs));
  if (handle->received.empty()) {
    if (Linked(handle)) {
      if (handle->link.Receive(handle->received, 4096, waitMs) == SimLink::Result::Gone && Vanished(handle)) {
        return LIBUSB_ERROR_NO_DEVICE;
      }
    } else {
      ::poll(nullptr, 0, waitMs);
    }
  }
  const std::size_t room = std::min<std::size_t>(static_cast<std::size_t>(length), kPacketSize) - 2;
  const std::size_t count = std::min(room, handle->received.size());
  std::memcpy(data, kModemStatus, 2);
  std::memcpy(data + 2, handle->received.data(), count);
  handle->received.erase(0, count);
  if (count > 0) RecordOf(handle).Line("in " + Hex(data + 2, count));
  if (transferred) *transferred = static_cast<int>(count + 2);
  return LIBUSB_SUCCESS;
}

}  // namespace
}  // namespace kervusb

using namespace kervusb;

extern "C" {

int libusb_control_transfer(libusb_device_handle* handle, uint8_t requestType, uint8_t request, uint16_t value,
                            uint16_t index, unsigned char* data, uint16_t length, unsigned int) {
  if (Vanished(handle)) return LIBUSB_ERROR_NO_DEVICE;
  if (requestType == kVendorOut) return VendorOut(handle, request, value, index);
  if (requestType == kVendorIn) return VendorIn(handle, request, data, length);
  char text[48];
  std::snprintf(text, sizeof text, "control refused %02x %02x", requestType, request);
  RecordOf(handle).Line(text);
  return LIBUSB_ERROR_PIPE;
}

int libusb_bulk_transfer(libusb_device_handle* handle, unsigned char endpoint, unsigned char* data, int length,
                         int* transferred, unsigned int timeout) {
  if (transferred) *transferred = 0;
  if (Vanished(handle)) return LIBUSB_ERROR_NO_DEVICE;
  if (length < 0) return LIBUSB_ERROR_INVALID_PARAM;
  if (endpoint == 0x81) return BulkIn(handle, data, length, transferred, timeout);
  if (endpoint == 0x02) return BulkOut(handle, data, length, transferred, timeout);
  return LIBUSB_ERROR_NOT_FOUND;
}

// Asynchronous transfers are not offered: the synchronous ones above carry everything.
libusb_transfer* libusb_alloc_transfer(int isoPackets) {
  if (isoPackets < 0) return nullptr;
  const std::size_t size =
      sizeof(libusb_transfer) + static_cast<std::size_t>(isoPackets) * sizeof(libusb_iso_packet_descriptor);
  return static_cast<libusb_transfer*>(std::calloc(1, size));
}

void libusb_free_transfer(libusb_transfer* transfer) {
  if (!transfer) return;
  if ((transfer->flags & LIBUSB_TRANSFER_FREE_BUFFER) && transfer->buffer) std::free(transfer->buffer);
  std::free(transfer);
}

int libusb_submit_transfer(libusb_transfer*) { return LIBUSB_ERROR_NOT_SUPPORTED; }

int libusb_cancel_transfer(libusb_transfer*) { return LIBUSB_ERROR_NOT_FOUND; }

int libusb_handle_events_timeout(libusb_context*, timeval*) { return LIBUSB_SUCCESS; }

int libusb_handle_events_timeout_completed(libusb_context*, timeval*, int*) { return LIBUSB_SUCCESS; }

}  // extern "C"
