// Download interfaces presented as serial devices (CDC-ACM handsets, the
// simulated handset): the entries of a device directory whose names begin
// with a prefix ("pda"), usually symlinks to tty devices.
#pragma once
#include <string>

#include "platform/interfacebackend.h"

namespace tw {

class CTtyInterfaceBackend final : public IInterfaceBackend {
 public:
  explicit CTtyInterfaceBackend(std::string directory, std::string prefix = "pda");

  // The matching entries as directory/name, sorted by name.
  std::vector<std::string> Enumerate() override;
  bool Handles(const std::string& path) const override;
  std::unique_ptr<IByteDevice> Open(const std::string& path, std::string* error) override;

 private:
  std::string m_directory;
  std::string m_prefix;
};

}  // namespace tw
