#include "platform/win32/setupapi.h"

// clang-format off
#include <windows.h>
#include <cfgmgr32.h>
#include <setupapi.h>
// clang-format on

#include <cstring>
#include <cwctype>

#include "platform/win32/widestring.h"

namespace tw {

namespace {

// The device setup class of COM and LPT ports.
constexpr ::GUID kPortsClass = {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}};
// How far up the device tree a device's USB device is looked for.
constexpr int kMaxAncestors = 8;

::GUID ToWin32(const GUID& cls) {
  ::GUID win{};
  static_assert(sizeof win == sizeof cls);
  std::memcpy(&win, &cls, sizeof win);
  return win;
}

// A device information set, destroyed with its scope.
class CDeviceInfoSet {
 public:
  explicit CDeviceInfoSet(HDEVINFO set) : m_hSet(set) {}
  ~CDeviceInfoSet() {
    if (Valid()) {
      SetupDiDestroyDeviceInfoList(m_hSet);
    }
  }
  CDeviceInfoSet(const CDeviceInfoSet&) = delete;
  CDeviceInfoSet& operator=(const CDeviceInfoSet&) = delete;
  bool Valid() const { return m_hSet != INVALID_HANDLE_VALUE && m_hSet != nullptr; }
  HDEVINFO Get() const { return m_hSet; }

 private:
  HDEVINFO m_hSet;
};

// The device path of one interface, and optionally its device.
std::string InterfacePath(HDEVINFO set, SP_DEVICE_INTERFACE_DATA& data, SP_DEVINFO_DATA* device) {
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
  if (required < sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W)) {
    return {};
  }
  std::vector<BYTE> buffer(required);
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  if (!SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, device)) {
    return {};
  }
  return Narrow(detail->DevicePath);
}

// A string value of a device's hardware key ("PortName").
std::string DeviceKeyString(HDEVINFO set, SP_DEVINFO_DATA& device, const wchar_t* name) {
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) {
    return {};
  }
  wchar_t value[256] = {};
  DWORD size = sizeof value - sizeof(wchar_t);
  DWORD type = 0;
  const LONG result = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return result == ERROR_SUCCESS && type == REG_SZ ? Narrow(value) : std::string();
}

bool EqualNoCase(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) {
    return false;
  }
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::towupper(static_cast<unsigned char>(a[i])) != std::towupper(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

std::vector<std::string> Split(const std::string& text, char separator) {
  std::vector<std::string> parts;
  std::size_t start = 0;
  for (std::size_t at = text.find(separator); at != std::string::npos; at = text.find(separator, start)) {
    parts.push_back(text.substr(start, at - start));
    start = at + 1;
  }
  parts.push_back(text.substr(start));
  return parts;
}

bool IsUsbDeviceId(const std::vector<std::string>& parts) {
  if (parts.size() != 3 || !EqualNoCase(parts[0], "USB")) {
    return false;
  }
  std::string hardware = parts[1];
  for (char& c : hardware) {
    c = static_cast<char>(std::towupper(static_cast<unsigned char>(c)));
  }
  return hardware.find("&MI_") == std::string::npos;
}

// Calls visit(path, set, device) for each present interface of cls, in
// member-index order, until it returns true. False when the set cannot be had.
template <typename Visit>
bool VisitPresent(const GUID& cls, Visit&& visit) {
  const ::GUID win = ToWin32(cls);
  CDeviceInfoSet set(SetupDiGetClassDevsW(&win, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
  if (!set.Valid()) {
    return false;
  }
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  for (DWORD i = 0; SetupDiEnumDeviceInterfaces(set.Get(), nullptr, &win, i, &data); ++i) {
    SP_DEVINFO_DATA device{};
    device.cbSize = sizeof device;
    if (visit(InterfacePath(set.Get(), data, &device), set.Get(), device)) {
      break;
    }
  }
  return true;
}

}  // namespace

std::optional<std::vector<std::string>> PresentInterfaces(const GUID& cls) {
  std::vector<std::string> paths;
  const bool listed = VisitPresent(cls, [&paths](std::string path, HDEVINFO, SP_DEVINFO_DATA&) {
    if (!path.empty()) {
      paths.push_back(std::move(path));
    }
    return false;
  });
  if (!listed) {
    return std::nullopt;
  }
  return paths;
}

std::string PortNameOfInterface(const std::string& interfacePath) {
  // Found among the present ones: Wine has no SetupDiOpenDeviceInterface.
  std::string name;
  VisitPresent(kComPortInterface, [&](const std::string& path, HDEVINFO set, SP_DEVINFO_DATA& device) {
    if (!EqualNoCase(path, interfacePath)) {
      return false;
    }
    name = DeviceKeyString(set, device, L"PortName");
    return true;
  });
  return name;
}

std::string InstanceIdOfInterfacePath(const std::string& interfacePath) {
  std::string rest = interfacePath;
  if (rest.starts_with("\\\\?\\") || rest.starts_with("\\\\.\\")) {
    rest.erase(0, 4);
  } else {
    return {};
  }
  const std::size_t classPart = rest.rfind("#{");
  if (classPart == std::string::npos) {
    return {};
  }
  rest.erase(classPart);
  std::vector<std::string> parts = Split(rest, '#');
  if (parts.size() != 3) {
    return {};
  }
  return parts[0] + "\\" + parts[1] + "\\" + parts[2];
}

std::string LocationOfInstanceId(const std::string& instanceId) {
  const std::vector<std::string> parts = Split(instanceId, '\\');
  if (!IsUsbDeviceId(parts) || parts[2].find('&') == std::string::npos) {
    return {};
  }
  return parts[2];
}

std::string LocationOfDevice(const std::string& instanceId) {
  DEVINST node = 0;
  std::wstring id = Widen(instanceId);
  if (CM_Locate_DevNodeW(&node, id.data(), CM_LOCATE_DEVNODE_NORMAL) != CR_SUCCESS) {
    return LocationOfInstanceId(instanceId);
  }
  for (int level = 0; level < kMaxAncestors; ++level) {
    wchar_t buffer[MAX_DEVICE_ID_LEN + 1] = {};
    if (CM_Get_Device_IDW(node, buffer, MAX_DEVICE_ID_LEN, 0) != CR_SUCCESS) {
      return {};
    }
    const std::string current = Narrow(buffer);
    // The nearest USB device decides: its port, or none when it has a serial number.
    if (IsUsbDeviceId(Split(current, '\\'))) {
      return LocationOfInstanceId(current);
    }
    DEVINST parent = 0;
    if (CM_Get_Parent(&parent, node, 0) != CR_SUCCESS) {
      return {};
    }
    node = parent;
  }
  return {};
}

std::string InstanceIdOfPort(const std::string& portName) {
  CDeviceInfoSet set(SetupDiGetClassDevsW(&kPortsClass, nullptr, nullptr, DIGCF_PRESENT));
  if (!set.Valid()) {
    return {};
  }
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD i = 0; SetupDiEnumDeviceInfo(set.Get(), i, &device); ++i) {
    if (!EqualNoCase(DeviceKeyString(set.Get(), device, L"PortName"), portName)) {
      continue;
    }
    wchar_t id[MAX_DEVICE_ID_LEN + 1] = {};
    if (SetupDiGetDeviceInstanceIdW(set.Get(), &device, id, MAX_DEVICE_ID_LEN, nullptr)) {
      return Narrow(id);
    }
  }
  return {};
}

}  // namespace tw
