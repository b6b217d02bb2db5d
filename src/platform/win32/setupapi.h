// The device installation services as the Win32 backend uses them: the
// present interfaces of a class, a COM port's name, and where a device sits.
#pragma once
#include <optional>
#include <string>
#include <vector>

#include "platform/guid.h"

namespace tw {

// The device interface class of COM ports (GUID_DEVINTERFACE_COMPORT).
inline constexpr GUID kComPortInterface = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// The device paths of the present interfaces of cls, in member-index order
// (SetupDiGetClassDevs, SetupDiEnumDeviceInterfaces,
// SetupDiGetDeviceInterfaceDetail). nullopt when the set cannot be had.
std::optional<std::vector<std::string>> PresentInterfaces(const GUID& cls);

// The port name ("COM7") of the serial device behind a present COM port
// interface path (its device key's PortName); empty when unknown.
std::string PortNameOfInterface(const std::string& interfacePath);

// The instance id of the device behind an interface path:
// "\\?\USB#VID_1234&PID_5678#5&2a3b4c5d&0&2#{guid}" gives
// "USB\VID_1234&PID_5678\5&2a3b4c5d&0&2". Empty for another form.
std::string InstanceIdOfInterfacePath(const std::string& interfacePath);

// Where a USB device sits, from its instance id: the last part of a USB
// device's id when the system made it from the hub and port ("5&2a3b4c5d&0&2",
// the same for every device on that port), empty when the part is the
// device's serial number or the id is not a USB device's.
std::string LocationOfInstanceId(const std::string& instanceId);

// The location of a present device: its own instance id's, or that of the
// nearest USB device above it (a composite device's function, a modem port
// under its USB device). Empty when none is given.
std::string LocationOfDevice(const std::string& instanceId);

// The instance id of the present serial device named portName ("COM7"), or empty.
std::string InstanceIdOfPort(const std::string& portName);

}  // namespace tw
