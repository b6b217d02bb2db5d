// Device-change event types and the port-number rule of the arrival handler.
#pragma once
#include <string>

#include "platform/deviceevents.h"
#include "platform/wintypes.h"

namespace tw {

inline constexpr UINT DBT_DEVICEARRIVAL = 0x8000;
inline constexpr UINT DBT_DEVICEREMOVECOMPLETE = 0x8004;

// The event type of a device event.
inline UINT DeviceEventType(const DeviceEvent& event) {
  return event.action == DeviceEvent::Action::Arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
}

// The port number of a device name: a name beginning with "COM" loses every
// leading C, O and M and the rest reads as a decimal number (0 when it is
// not one; clamped to the int range). False for any other name.
bool PortNumberFromName(const std::string& name, int* pPort);

}  // namespace tw
