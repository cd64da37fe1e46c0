// SPDX-License-Identifier: MIT
// The stand-in libusb-1.0: contexts, enumeration, descriptors, strings, opening, configuration
// and interface claiming of the devices the environment lists. The transfers are in Transfers.cpp.
#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include "Standin.h"

namespace kervusb {
namespace {

constexpr std::uint16_t kChipRelease = 0x0600;  // bcdDevice of an FT232R
constexpr std::uint16_t kMaxPacket = 64;
constexpr int kInterface = 0;

// Interfaces claimed by any handle of this process, by device: a second claim is refused as a
// kernel would refuse it.
std::mutex g_claimsLock;
std::set<std::string> g_claims;

std::string ClaimKey(const libusb_device* device) {
  return IdText(device->spec) + "@" + std::to_string(device->address);
}

libusb_context* g_default = nullptr;
int g_defaultUsers = 0;

libusb_context* ContextOf(libusb_context* context) { return context ? context : g_default; }

// A device's string descriptors by index: 1 manufacturer, 2 product, 3 serial number.
std::string StringAt(const libusb_device* device, std::uint8_t index) {
  char serial[16];
  switch (index) {
    case 1:
      return device->spec.manufacturer;
    case 2:
      return device->spec.description;
    case 3:
      std::snprintf(serial, sizeof serial, "KV%06u", device->address);
      return serial;
    default:
      return {};
  }
}

// A configuration descriptor in one allocation, so freeing it is one delete.
struct ConfigBlock {
  libusb_config_descriptor config;
  libusb_interface interface;
  libusb_interface_descriptor setting;
  libusb_endpoint_descriptor endpoints[2];
};

void Release(libusb_device_handle* handle) {
  if (handle->claimed) {
    const std::lock_guard<std::mutex> lock(g_claimsLock);
    g_claims.erase(ClaimKey(handle->device));
  }
  handle->claimed = false;
  handle->link.Close();
  handle->received.clear();
}

}  // namespace

Record::Record() {
  if (const char* path = std::getenv("KERV_USB_RECORD"); path && *path) {
    m_fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  }
}

Record::~Record() {
  if (m_fd >= 0) ::close(m_fd);
}

void Record::Line(const std::string& text) {
  if (m_fd < 0) return;
  const std::string line = text + "\n";
  // One write per line: lines of several contexts interleave whole.
  [[maybe_unused]] const ssize_t written = ::write(m_fd, line.data(), line.size());
}

std::string IdText(const DeviceSpec& spec) {
  char text[16];
  std::snprintf(text, sizeof text, "%04x:%04x", spec.vendor, spec.product);
  return text;
}

}  // namespace kervusb

using namespace kervusb;

extern "C" {

// Lets a program or test tell the stand-in from the real library.
const char* kerv_usb_standin(void) { return "kerv usb stand-in"; }

int libusb_init(libusb_context** context) {
  if (!context) {
    if (g_defaultUsers++ == 0) g_default = new libusb_context;
    return LIBUSB_SUCCESS;
  }
  *context = new libusb_context;
  return LIBUSB_SUCCESS;
}

void libusb_exit(libusb_context* context) {
  if (!context) {
    if (g_defaultUsers == 0 || --g_defaultUsers > 0) return;
    context = std::exchange(g_default, nullptr);
  }
  for (libusb_device_handle* handle : context->handles) {
    Release(handle);
    delete handle;
  }
  delete context;
}

ssize_t libusb_get_device_list(libusb_context* context, libusb_device*** list) {
  context = ContextOf(context);
  if (!context || !list) return LIBUSB_ERROR_INVALID_PARAM;
  const std::vector<DeviceSpec> specs = DevicesFromEnvironment();
  *list = static_cast<libusb_device**>(std::calloc(specs.size() + 1, sizeof(libusb_device*)));
  if (!*list) return LIBUSB_ERROR_NO_MEM;
  for (std::size_t i = 0; i < specs.size(); ++i) {
    auto device = std::make_unique<libusb_device>();
    device->context = context;
    device->spec = specs[i];
    device->address = static_cast<std::uint8_t>(i + 1);
    device->refs = 1;
    (*list)[i] = device.get();
    context->devices.push_back(std::move(device));
  }
  return static_cast<ssize_t>(specs.size());
}

void libusb_free_device_list(libusb_device** list, int unrefDevices) {
  if (!list) return;
  if (unrefDevices) {
    for (libusb_device** device = list; *device; ++device) libusb_unref_device(*device);
  }
  std::free(list);
}

libusb_device* libusb_ref_device(libusb_device* device) {
  ++device->refs;
  return device;
}

void libusb_unref_device(libusb_device* device) {
  if (device && device->refs > 0) --device->refs;
}

uint8_t libusb_get_bus_number(libusb_device*) { return 1; }

uint8_t libusb_get_device_address(libusb_device* device) { return device->address; }

int libusb_get_device_descriptor(libusb_device* device, libusb_device_descriptor* descriptor) {
  *descriptor = {};
  descriptor->bLength = LIBUSB_DT_DEVICE_SIZE;
  descriptor->bDescriptorType = LIBUSB_DT_DEVICE;
  descriptor->bcdUSB = 0x0200;
  descriptor->bMaxPacketSize0 = 8;
  descriptor->idVendor = device->spec.vendor;
  descriptor->idProduct = device->spec.product;
  descriptor->bcdDevice = kChipRelease;
  descriptor->iManufacturer = 1;
  descriptor->iProduct = device->spec.description.empty() ? 0 : 2;
  descriptor->iSerialNumber = 3;
  descriptor->bNumConfigurations = 1;
  return LIBUSB_SUCCESS;
}

int libusb_get_config_descriptor(libusb_device*, uint8_t index, libusb_config_descriptor** config) {
  if (index != 0) return LIBUSB_ERROR_NOT_FOUND;
  auto* block = new ConfigBlock{};
  for (int i = 0; i < 2; ++i) {
    libusb_endpoint_descriptor& endpoint = block->endpoints[i];
    endpoint.bLength = LIBUSB_DT_ENDPOINT_SIZE;
    endpoint.bDescriptorType = LIBUSB_DT_ENDPOINT;
    endpoint.bEndpointAddress = i == 0 ? 0x81 : 0x02;
    endpoint.bmAttributes = LIBUSB_TRANSFER_TYPE_BULK;
    endpoint.wMaxPacketSize = kMaxPacket;
  }
  libusb_interface_descriptor& setting = block->setting;
  setting.bLength = LIBUSB_DT_INTERFACE_SIZE;
  setting.bDescriptorType = LIBUSB_DT_INTERFACE;
  setting.bInterfaceNumber = kInterface;
  setting.bNumEndpoints = 2;
  setting.bInterfaceClass = LIBUSB_CLASS_VENDOR_SPEC;
  setting.bInterfaceSubClass = 0xFF;
  setting.bInterfaceProtocol = 0xFF;
  setting.iInterface = 2;
  setting.endpoint = block->endpoints;
  block->interface.altsetting = &block->setting;
  block->interface.num_altsetting = 1;
  libusb_config_descriptor& c = block->config;
  c.bLength = LIBUSB_DT_CONFIG_SIZE;
  c.bDescriptorType = LIBUSB_DT_CONFIG;
  c.wTotalLength = LIBUSB_DT_CONFIG_SIZE + LIBUSB_DT_INTERFACE_SIZE + 2 * LIBUSB_DT_ENDPOINT_SIZE;
  c.bNumInterfaces = 1;
  c.bConfigurationValue = 1;
  c.bmAttributes = 0x80;
  c.MaxPower = 45;
  c.interface = &block->interface;
  *config = &block->config;
  return LIBUSB_SUCCESS;
}

void libusb_free_config_descriptor(libusb_config_descriptor* config) {
  // `config` is the first member of its block.
  delete reinterpret_cast<ConfigBlock*>(config);
}

int libusb_open(libusb_device* device, libusb_device_handle** handle) {
  auto* opened = new libusb_device_handle;
  opened->device = libusb_ref_device(device);
  device->context->handles.insert(opened);
  *handle = opened;
  return LIBUSB_SUCCESS;
}

void libusb_close(libusb_device_handle* handle) {
  if (!handle) return;
  Release(handle);
  libusb_unref_device(handle->device);
  handle->device->context->handles.erase(handle);
  delete handle;
}

int libusb_get_string_descriptor_ascii(libusb_device_handle* handle, uint8_t index, unsigned char* data, int length) {
  // Index 0 is the table of languages, no string.
  if (index == 0 || length <= 0) return LIBUSB_ERROR_INVALID_PARAM;
  const std::string text = StringAt(handle->device, index);
  if (text.empty()) return LIBUSB_ERROR_PIPE;
  const int count = std::min(static_cast<int>(text.size()), length - 1);
  std::memcpy(data, text.data(), static_cast<std::size_t>(count));
  data[count] = 0;
  return count;
}

int libusb_get_configuration(libusb_device_handle* handle, int* configuration) {
  *configuration = handle->configuration;
  return LIBUSB_SUCCESS;
}

int libusb_set_configuration(libusb_device_handle* handle, int configuration) {
  if (configuration != 1 && configuration != -1) return LIBUSB_ERROR_NOT_FOUND;
  if (handle->claimed) return LIBUSB_ERROR_BUSY;
  handle->configuration = configuration == -1 ? 0 : 1;
  return LIBUSB_SUCCESS;
}

// No kernel driver is bound to a device that exists only here.
int libusb_detach_kernel_driver(libusb_device_handle*, int interface) {
  return interface == kInterface ? LIBUSB_ERROR_NOT_FOUND : LIBUSB_ERROR_INVALID_PARAM;
}

int libusb_set_auto_detach_kernel_driver(libusb_device_handle*, int) { return LIBUSB_SUCCESS; }

int libusb_claim_interface(libusb_device_handle* handle, int interface) {
  if (interface != kInterface) return LIBUSB_ERROR_NOT_FOUND;
  if (handle->claimed) return LIBUSB_SUCCESS;
  libusb_device* device = handle->device;
  Record& record = device->context->record;
  {
    const std::lock_guard<std::mutex> lock(g_claimsLock);
    if (!g_claims.insert(ClaimKey(device)).second) {
      record.Line("claim-refused " + IdText(device->spec) + " busy");
      return LIBUSB_ERROR_BUSY;
    }
  }
  handle->claimed = true;
  std::string error;
  if (device->spec.bridge && !device->spec.simSocket.empty() && !handle->link.Connect(device->spec.simSocket, &error)) {
    Release(handle);
    record.Line("claim-refused " + IdText(device->spec) + " " + error);
    return LIBUSB_ERROR_NO_DEVICE;
  }
  record.Line("claim " + IdText(device->spec) + " " + device->spec.description);
  return LIBUSB_SUCCESS;
}

int libusb_release_interface(libusb_device_handle* handle, int interface) {
  if (interface != kInterface || !handle->claimed) return LIBUSB_ERROR_NOT_FOUND;
  handle->device->context->record.Line("release " + IdText(handle->device->spec));
  Release(handle);
  return LIBUSB_SUCCESS;
}

}  // extern "C"
