// How the transports find and open devices. The real provider maps the
// download interface class to tty or libusb devices and COM names to serial
// devices through the port table; the simulated handset has one of its own.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/bytedevice.h"
#include "platform/guid.h"

namespace tw {

class IDeviceProvider {
 public:
  virtual ~IDeviceProvider() = default;

  // Paths of the present interfaces of a class, in member-index order.
  virtual std::vector<std::string> EnumerateInterfaces(const GUID& cls) = 0;

  // Opens one interface path exclusively. Null on failure, with the reason in
  // *error; errno is EBUSY when another program holds the device (it may come
  // free again; the reason names it where that can be learned) and EALREADY
  // when this program holds it.
  virtual std::unique_ptr<IByteDevice> OpenInterface(const std::string& path, std::string* error) = 0;

  // Opens a serial port by its COM name ("COM7", "COM7:" or "\\.\COM7"),
  // exclusively and raw. Null on failure, with the reason in *error.
  virtual std::unique_ptr<IByteDevice> OpenPort(const std::string& name, std::string* error) = 0;
};

}  // namespace tw
