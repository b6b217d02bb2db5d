// Where a USB interface sits: bus, hub port chain and interface number,
// written "usb:1-2.3:0" (bus 1, port 2 of the root hub, port 3 of that hub,
// interface 0). A device without a port chain is named by its address,
// "usb:1@5:0". The name stays the same while the device stays plugged in
// the same socket, and sorting names sorts by bus and port.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace tw {

struct UsbLocation {
  int bus = 0;
  std::vector<std::uint8_t> ports;  // empty: use the address
  int address = 0;
  int interfaceNumber = 0;

  std::string ToPath() const;
  static std::optional<UsbLocation> FromPath(const std::string& path);

  // Bus first, then the port chain, then the address.
  bool SortsBefore(const UsbLocation& other) const;
  // Whether a device with this bus, port chain and address is the one meant.
  bool SameDevice(int otherBus, const std::vector<std::uint8_t>& otherPorts, int otherAddress) const;
};

}  // namespace tw
