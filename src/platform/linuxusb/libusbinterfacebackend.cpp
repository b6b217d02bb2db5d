#include "platform/linuxusb/libusbinterfacebackend.h"

#include <libusb.h>

#include <algorithm>

#include "platform/linuxusb/libusbdevice.h"
#include "platform/linuxusb/usblocation.h"
#include "platform/trace.h"

namespace tw {

std::vector<std::string> CLibusbInterfaceBackend::Enumerate() {
  // 1. A short-lived context: every call sees the devices present now.
  libusb_context* ctx = nullptr;
  int rc = libusb_init(&ctx);
  if (rc < 0) {
    Trace("libusb: libusb_init failed: %s\n", libusb_error_name(rc));
    return {};
  }
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(ctx, &list);
  if (count < 0) {
    Trace("libusb: listing devices failed: %s\n", libusb_error_name(static_cast<int>(count)));
    count = 0;
  }
  // 2. The devices a download rule names, at the rule's interface.
  std::vector<UsbLocation> found;
  for (ssize_t i = 0; i < count; ++i) {
    libusb_device_descriptor descriptor{};
    if (libusb_get_device_descriptor(list[i], &descriptor) != 0) {
      continue;
    }
    auto rule = m_rules.DownloadRule(descriptor.idVendor, descriptor.idProduct);
    if (!rule) {
      continue;
    }
    UsbLocation where;
    std::uint8_t ports[8];
    int depth = libusb_get_port_numbers(list[i], ports, sizeof ports);
    where.bus = libusb_get_bus_number(list[i]);
    where.ports.assign(ports, ports + std::max(depth, 0));
    where.address = libusb_get_device_address(list[i]);
    where.interfaceNumber = rule->interfaceNumber;
    found.push_back(where);
  }
  if (list) {
    libusb_free_device_list(list, 1);
  }
  libusb_exit(ctx);
  // 3. Member indices follow bus and port order.
  std::sort(found.begin(), found.end(),
            [](const UsbLocation& a, const UsbLocation& b) { return a.SortsBefore(b); });
  std::vector<std::string> paths;
  for (const auto& where : found) {
    paths.push_back(where.ToPath());
  }
  return paths;
}

bool CLibusbInterfaceBackend::Handles(const std::string& path) const {
  return path.starts_with("usb:");
}

std::unique_ptr<IByteDevice> CLibusbInterfaceBackend::Open(const std::string& path, std::string* error) {
  auto where = UsbLocation::FromPath(path);
  if (!where) {
    if (error) {
      *error = "not a USB interface path: " + path;
    }
    return nullptr;
  }
  return CLibusbDevice::Open(*where, error);
}

}  // namespace tw
