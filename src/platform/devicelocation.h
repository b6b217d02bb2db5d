// Where a handset is plugged in, as device events and interface paths name
// it: the USB port path ("1-2.4") of its USB device.
#pragma once
#include <string>

namespace tw {

// The location of a download-interface path as the provider enumerates it:
// "usb:1-2.4:0" gives "1-2.4", "DIR/pda@1-2.4" gives "1-2.4"; on Windows a
// device interface path gives its device's location, as its device event
// does. Any other path gives "" (no location known).
std::string LocationOfInterfacePath(const std::string& path);

// A device-directory entry's name split at its location suffix:
// "COM9@1-2.4" is "COM9" at "1-2.4"; a name without '@' has no location.
struct LocatedName {
  std::string name;
  std::string location;
};
LocatedName SplitLocatedName(const std::string& entry);

}  // namespace tw
