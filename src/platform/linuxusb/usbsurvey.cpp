#include "platform/linuxusb/usbsurvey.h"

#include <fcntl.h>
#include <libudev.h>
#include <linux/usbdevice_fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/linuxusb/udevsource.h"

namespace tw {

namespace {

std::string Text(const char* text) {
  return text ? text : "";
}

// A hexadecimal sysfs attribute of 16 bits ("idVendor"), or -1.
int HexAttribute(udev_device* device, const char* name) {
  const std::string text = Text(udev_device_get_sysattr_value(device, name));
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 16);
  return (text.empty() || end == text.c_str() || value < 0 || value > 0xFFFF) ? -1 : static_cast<int>(value);
}

bool IgnoredByModemManager(udev_device* device) {
  return Text(udev_device_get_property_value(device, "ID_MM_DEVICE_IGNORE")) == "1";
}

// Every device of a subsystem, in udev's order.
template <typename Visit>
void ForEachDevice(udev* context, const char* subsystem, Visit visit) {
  udev_enumerate* enumerate = udev_enumerate_new(context);
  if (!enumerate) {
    return;
  }
  udev_enumerate_add_match_subsystem(enumerate, subsystem);
  udev_enumerate_scan_devices(enumerate);
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
    udev_device* device = udev_device_new_from_syspath(context, udev_list_entry_get_name(entry));
    if (device) {
      visit(device);
      udev_device_unref(device);
    }
  }
  udev_enumerate_unref(enumerate);
}

}  // namespace

UsbSurvey SurveyUsb(const CUsbIdRules& rules) {
  UsbSurvey survey;
  udev* context = udev_new();
  if (!context) {
    return survey;
  }
  survey.reachedUdev = true;
  ForEachDevice(context, "usb", [&](udev_device* device) {
    const int vid = HexAttribute(device, "idVendor");
    const int pid = HexAttribute(device, "idProduct");
    if (Text(udev_device_get_devtype(device)) != "usb_device" || vid < 0 || pid < 0 ||
        !rules.MatchesDevice(static_cast<std::uint16_t>(vid), static_cast<std::uint16_t>(pid))) {
      return;
    }
    SurveyedDevice found;
    found.location = Text(udev_device_get_sysname(device));
    found.bus = std::atoi(Text(udev_device_get_sysattr_value(device, "busnum")).c_str());
    found.vid = static_cast<std::uint16_t>(vid);
    found.pid = static_cast<std::uint16_t>(pid);
    found.downloadRule = rules.DownloadRule(found.vid, found.pid);
    found.devNode = Text(udev_device_get_devnode(device));
    found.modemManagerIgnores = IgnoredByModemManager(device);
    survey.devices.push_back(found);
  });
  int next = CUdevSource::kFirstPortNumber;
  ForEachDevice(context, "tty", [&](udev_device* device) {
    udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
    const int vid = usb ? HexAttribute(usb, "idVendor") : -1;
    const int pid = usb ? HexAttribute(usb, "idProduct") : -1;
    const std::string devNode = Text(udev_device_get_devnode(device));
    if (vid < 0 || pid < 0 || devNode.empty() ||
        !rules.MatchesDevice(static_cast<std::uint16_t>(vid), static_cast<std::uint16_t>(pid))) {
      return;
    }
    survey.ports.push_back(
        {devNode, Text(udev_device_get_sysname(usb)), next++, IgnoredByModemManager(device)});
  });
  udev_unref(context);
  return survey;
}

std::optional<std::string> InterfaceDriver(const std::string& devNode, int interfaceNumber) {
  const int fd = ::open(devNode.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    return std::nullopt;
  }
  usbdevfs_getdriver query{};
  query.interface = static_cast<unsigned>(interfaceNumber);
  const int rc = ::ioctl(fd, USBDEVFS_GETDRIVER, &query);
  const int saved = errno;
  ::close(fd);
  if (rc != 0) {
    return saved == ENODATA ? std::optional<std::string>("") : std::nullopt;
  }
  query.driver[sizeof query.driver - 1] = '\0';
  return std::string(query.driver);
}

}  // namespace tw
