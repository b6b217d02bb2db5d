#include "platform/linuxusb/usblocation.h"

#include <charconv>
#include <tuple>

namespace tw {

namespace {

// Reads a decimal number in [0, max] from the front of text and drops it.
bool TakeNumber(std::string_view& text, int max, int* out) {
  int value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end == text.data() || value < 0 || value > max) {
    return false;
  }
  text.remove_prefix(static_cast<std::size_t>(end - text.data()));
  *out = value;
  return true;
}

bool TakeChar(std::string_view& text, char c) {
  if (text.empty() || text.front() != c) {
    return false;
  }
  text.remove_prefix(1);
  return true;
}

}  // namespace

std::string UsbLocation::ToPath() const {
  std::string path = "usb:" + std::to_string(bus);
  if (ports.empty()) {
    path += "@" + std::to_string(address);
  } else {
    for (std::size_t i = 0; i < ports.size(); ++i) {
      path += (i == 0 ? "-" : ".") + std::to_string(ports[i]);
    }
  }
  return path + ":" + std::to_string(interfaceNumber);
}

std::optional<UsbLocation> UsbLocation::FromPath(const std::string& path) {
  std::string_view text(path);
  UsbLocation where;
  if (!text.starts_with("usb:")) {
    return std::nullopt;
  }
  text.remove_prefix(4);
  if (!TakeNumber(text, 255, &where.bus)) {
    return std::nullopt;
  }
  if (TakeChar(text, '@')) {
    if (!TakeNumber(text, 255, &where.address)) {
      return std::nullopt;
    }
  } else {
    char separator = '-';
    do {
      int port = 0;
      if (!TakeChar(text, separator) || !TakeNumber(text, 255, &port) || where.ports.size() == 7) {
        return std::nullopt;
      }
      where.ports.push_back(static_cast<std::uint8_t>(port));
      separator = '.';
    } while (!text.empty() && text.front() == '.');
  }
  if (!TakeChar(text, ':') || !TakeNumber(text, 255, &where.interfaceNumber) || !text.empty()) {
    return std::nullopt;
  }
  return where;
}

bool UsbLocation::SortsBefore(const UsbLocation& other) const {
  return std::tie(bus, ports, address, interfaceNumber) <
         std::tie(other.bus, other.ports, other.address, other.interfaceNumber);
}

bool UsbLocation::SameDevice(int otherBus, const std::vector<std::uint8_t>& otherPorts,
                             int otherAddress) const {
  if (otherBus != bus) {
    return false;
  }
  return ports.empty() ? otherAddress == address : otherPorts == ports;
}

}  // namespace tw
