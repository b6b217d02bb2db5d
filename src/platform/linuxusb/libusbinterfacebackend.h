// The download interfaces that libusb reaches: every present USB device that
// a download rule names, as "usb:..." paths (see usblocation.h) in bus and
// port order, so that member index k is the k-th handset by socket.
#pragma once
#include <memory>
#include <string>
#include <vector>

#include "platform/interfacebackend.h"
#include "platform/linuxusb/usbidrules.h"

namespace tw {

class CLibusbInterfaceBackend final : public IInterfaceBackend {
 public:
  explicit CLibusbInterfaceBackend(CUsbIdRules rules) : m_rules(std::move(rules)) {}

  // Paths of the present matching interfaces, in bus and port order.
  std::vector<std::string> Enumerate() override;
  // Paths that begin with "usb:".
  bool Handles(const std::string& path) const override;
  // Opens and claims one interface by its path. Null on failure, with the reason in *error.
  std::unique_ptr<IByteDevice> Open(const std::string& path, std::string* error) override;

 private:
  CUsbIdRules m_rules;
};

}  // namespace tw
