#include "platform/devicelocation.h"
#include "platform/win32/setupapi.h"

namespace tw {

// Windows lists download interfaces by their device paths only; the location
// is that of the device behind one, as the device events give it.
std::string LocationOfInterfacePath(const std::string& path) {
  const std::string instanceId = InstanceIdOfInterfacePath(path);
  return instanceId.empty() ? std::string() : LocationOfDevice(instanceId);
}

}  // namespace tw
