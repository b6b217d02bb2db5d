// A look at the handset's devices as they are now, for set-up checks: the
// USB devices that the id rules name and the serial ports below them, with
// what udev knows about each. Reads udev's database and sysfs; changes
// nothing.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/linuxusb/usbidrules.h"

namespace tw {

struct SurveyedDevice {
  std::string location;  // the udev name: bus and port chain, "1-2.4"
  int bus = 0;
  std::uint16_t vid = 0;
  std::uint16_t pid = 0;
  std::optional<UsbMatchRule> downloadRule;  // set when it is the download interface's device
  std::string devNode;                       // "/dev/bus/usb/001/005"
  bool modemManagerIgnores = false;          // udev set ID_MM_DEVICE_IGNORE=1 (the rules applied)
};

struct SurveyedPort {
  std::string devNode;         // "/dev/ttyACM0"
  std::string deviceLocation;  // the USB device it belongs to, "1-2.4"
  int comNumber = 0;           // the COM number tidewell would give it now
  bool modemManagerIgnores = false;
};

struct UsbSurvey {
  bool reachedUdev = false;
  std::vector<SurveyedDevice> devices;
  std::vector<SurveyedPort> ports;
};

// The devices any rule names and their serial ports. Ports are numbered as
// tidewell's udev source numbers them at start: from COM3 up, in udev's order.
UsbSurvey SurveyUsb(const CUsbIdRules& rules);

// The kernel driver bound to an interface of the device at devNode, asked as
// libusb asks it ("usbfs" when a program has claimed it). Empty when none is
// bound; nullopt when the node cannot be opened.
std::optional<std::string> InterfaceDriver(const std::string& devNode, int interfaceNumber);

}  // namespace tw
