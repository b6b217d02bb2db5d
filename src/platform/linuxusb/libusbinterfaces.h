// The download interfaces that libusb can reach: every present USB device
// that a download rule names, as "usb:..." paths (see usblocation.h) in bus
// and port order, so that member index k is the k-th handset by socket.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/bytedevice.h"
#include "platform/linuxusb/usbidrules.h"

namespace tw {

class LibusbInterfaces {
 public:
  explicit LibusbInterfaces(UsbIdRules rules) : m_rules(std::move(rules)) {}

  // Paths of the present matching interfaces, in bus and port order.
  std::vector<std::string> Enumerate() const;

  // Opens and claims one interface by its path. Null on failure, with the reason in *error.
  std::unique_ptr<IByteDevice> Open(const std::string& path, std::string* error) const;

  const UsbIdRules& Rules() const { return m_rules; }

 private:
  UsbIdRules m_rules;
};

}  // namespace tw
