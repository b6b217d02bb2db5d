// Device events from udev, the default source on Linux. A libudev monitor
// watches the usb and tty subsystems; at start the devices already present
// are reported as arrivals first.
//
// - A USB device that a download rule names is an arrival or removal of kind
//   Other, named by its download interface path ("usb:1-2:0", as the libusb
//   backend lists it).
// - A tty whose USB device matches any rule is a port arrival or removal
//   named "COMn". Its number is the lowest one from 3 up that is free in the
//   port table; it is kept for that device path until the tty is removed,
//   and the port table maps it to the tty's device node meanwhile.
// Both carry their USB device's port path as location ("1-2.4", its sysfs
// name), so a handset's port and download interface share it; a removal
// carries the location of its arrival.
// Every other device is ignored, and each device is reported once.
#pragma once
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "platform/deviceevents.h"
#include "platform/linuxusb/usbidrules.h"
#include "platform/porttable.h"

struct udev;
struct udev_device;
struct udev_monitor;

namespace tw {

class CUdevSource final : public IDeviceEventSource {
 public:
  // The first COM number given to a port: 1 and 2 stay for built-in ports.
  static constexpr int kFirstPortNumber = 3;

  CUdevSource(CUsbIdRules rules, CPortTable& ports);
  CUdevSource(const CUdevSource&) = delete;
  CUdevSource& operator=(const CUdevSource&) = delete;
  ~CUdevSource() override;

  // False when udev cannot be reached or the source already runs.
  bool Start(Sink sink) override;
  void Stop() override;

 private:
  void Run(Sink sink);
  void ReportPresent(const Sink& sink);
  // What an arrival reported: its kind, its name, its location and, for a port, its number.
  struct Reported {
    DeviceEvent::Kind kind = DeviceEvent::Kind::Other;
    std::string name;
    std::string location;
    int port = 0;
  };

  void Handle(const Sink& sink, udev_device* device, DeviceEvent::Action action);
  // The arrival a device gives, or nothing for a device the rules do not name.
  std::optional<Reported> Identify(udev_device* device);
  int AssignPortNumber(const std::string& devNode);
  void Release();

  CUsbIdRules m_rules;
  CPortTable& m_ports;
  udev* m_udev = nullptr;
  udev_monitor* m_monitor = nullptr;
  int m_wakeFd = -1;
  std::thread m_thread;
  // Touched by the source's thread only: what was reported, by sysfs path.
  std::map<std::string, Reported> m_reported;
};

}  // namespace tw
