// One way of finding and opening device interfaces of a class: tty devices
// announced in a directory, or (in a subdirectory of its own) libusb.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/bytedevice.h"

namespace tw {

class IInterfaceBackend {
 public:
  virtual ~IInterfaceBackend() = default;
  // Paths of the present interfaces, in a stable order.
  virtual std::vector<std::string> Enumerate() = 0;
  // Whether path names an interface of this backend.
  virtual bool Handles(const std::string& path) const = 0;
  // Opens one interface exclusively. Null on failure, with the reason in *error.
  virtual std::unique_ptr<IByteDevice> Open(const std::string& path, std::string* error) = 0;
};

}  // namespace tw
