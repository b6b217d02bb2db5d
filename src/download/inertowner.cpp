#include "download/inertowner.h"

#include "firmware/dloadfile.h"

namespace tw {

namespace {

class NoDevices final : public IDeviceProvider {
 public:
  std::vector<std::string> EnumerateInterfaces(const GUID&) override { return {}; }
  std::unique_ptr<IByteDevice> OpenInterface(const std::string&, std::string* error) override {
    return Refuse(error);
  }
  std::unique_ptr<IByteDevice> OpenPort(const std::string&, std::string* error) override {
    return Refuse(error);
  }

 private:
  static std::unique_ptr<IByteDevice> Refuse(std::string* error) {
    if (error) *error = "no owner: no devices";
    return nullptr;
  }
};

class InertOwner final : public IDownloadOwner {
 public:
  DownloadOwnerFlags& OwnerFlags() override { return m_flags; }
  const CDloadFile& PhoneFile() override { return m_phoneFile; }
  void PostMessage(UINT, WPARAM, LPARAM) override {}
  IClock& Clock() override { return m_clock; }
  IDeviceProvider& Devices() override { return m_devices; }

 private:
  DownloadOwnerFlags m_flags;
  CDloadFile m_phoneFile;
  RealClock m_clock;
  NoDevices m_devices;
};

}  // namespace

std::unique_ptr<IDownloadOwner> MakeInertOwner() {
  return std::make_unique<InertOwner>();
}

}  // namespace tw
