// The hardware device paths on Linux in one call: the libusb backend for the
// download interface class and the udev event source, both driven by the USB
// id rules (TIDEWELL_USB_IDS names the rules file, else the shipped rules).
#pragma once
#include <memory>
#include <string>

#include "platform/deviceevents.h"
#include "platform/guid.h"
#include "platform/linuxdeviceprovider.h"
#include "platform/porttable.h"

namespace tw {

// Adds the libusb backend for downloadClass to the provider and returns the
// udev source, which gives ports their COM numbers in `ports` (the table the
// provider resolves COM names with). Null, with the reason in *error, when the
// rules file cannot be read. Both must outlive the returned source.
std::unique_ptr<IDeviceEventSource> AttachUsbHardware(CLinuxDeviceProvider& provider, CPortTable& ports,
                                                      const GUID& downloadClass, std::string* error);

}  // namespace tw
