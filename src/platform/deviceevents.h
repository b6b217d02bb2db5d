// Device arrival and removal, from udev or from a watched device directory.
#pragma once
#include <functional>
#include <string>

namespace tw {

struct DeviceEvent {
  enum class Action { Arrival, Removal };
  enum class Kind { Port, Other };
  Action action = Action::Arrival;
  Kind kind = Kind::Other;
  std::string name;  // "COM12" for a port; the interface path or entry name otherwise
  // Where the device is plugged in: the USB port path of its USB device
  // ("1-2.4"); empty when unknown.
  std::string location{};
};

class IDeviceEventSource {
 public:
  using Sink = std::function<void(const DeviceEvent&)>;
  virtual ~IDeviceEventSource() = default;
  // Starts reporting; the sink is called on the source's own thread.
  // Devices already present are reported as arrivals first.
  virtual bool Start(Sink sink) = 0;
  // Stops reporting and joins the source's thread.
  virtual void Stop() = 0;
};

}  // namespace tw
