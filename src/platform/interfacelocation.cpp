#include "platform/devicelocation.h"

namespace tw {

std::string LocationOfInterfacePath(const std::string& path) {
  // libusb paths: "usb:" bus and port chain ":" interface number. A device
  // named by its address ("usb:1@5:0") has no port path.
  if (path.starts_with("usb:")) {
    const std::size_t end = path.rfind(':');
    const std::string device = path.substr(4, end == 3 ? std::string::npos : end - 4);
    return device.find('@') == std::string::npos ? device : "";
  }
  const std::size_t slash = path.find_last_of('/');
  return SplitLocatedName(slash == std::string::npos ? path : path.substr(slash + 1)).location;
}

}  // namespace tw
