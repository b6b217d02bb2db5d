#include "tests/platform/win32/testdevice.h"

// clang-format off
#include <windows.h>
#include <setupapi.h>
// clang-format on

#include <cstring>
#include <vector>

#include "pda/pdaguid.h"
#include "platform/win32/setupapi.h"
#include "platform/win32/widestring.h"

namespace tw::test {

namespace {

// A root device of a setup class with one interface of an interface class.
struct RootDevice {
  const wchar_t* instanceId;
  ::GUID setupClass;
  const GUID& interfaceClass;
};

// Any setup class does for the download device; the USB class reads naturally.
constexpr RootDevice kDownloadDevice = {
    L"ROOT\\TIDEWELL_TEST\\0000",
    {0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}},
    GUID_PDA_DOWNLOAD_INTERFACE};
// A serial port: the ports setup class and the COM port interface class.
constexpr RootDevice kPortDevice = {
    L"ROOT\\TIDEWELL_TEST_PORT\\0000",
    {0x4D36E978, 0xE325, 0x11CE, {0xBF, 0xC1, 0x08, 0x00, 0x2B, 0xE1, 0x03, 0x18}},
    kComPortInterface};

std::string Fail(const char* step, std::string* error) {
  *error = std::string(step) + " failed: " + std::to_string(GetLastError());
  return {};
}

::GUID ToWin32(const GUID& cls) {
  ::GUID win{};
  std::memcpy(&win, &cls, sizeof win);
  return win;
}

std::wstring GuidText(const GUID& cls) {
  wchar_t text[40] = {};
  swprintf(text, 40, L"{%08lX-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}", cls.Data1, cls.Data2, cls.Data3,
           cls.Data4[0], cls.Data4[1], cls.Data4[2], cls.Data4[3], cls.Data4[4], cls.Data4[5], cls.Data4[6],
           cls.Data4[7]);
  return text;
}

// Wine lists an interface as present while its Control key says Linked=1.
bool MarkLinked(const GUID& cls, const std::string& path, DWORD linked) {
  const std::wstring key = L"System\\CurrentControlSet\\Control\\DeviceClasses\\" + GuidText(cls) +
                           L"\\##?#" + Widen(path.substr(4)) + L"\\#\\Control";
  HKEY control = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &control,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const bool ok = RegSetValueExW(control, L"Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked),
                                 sizeof linked) == ERROR_SUCCESS;
  RegCloseKey(control);
  return ok;
}

// Gives the device its port name in its hardware key, as a ports driver does.
bool SetPortName(HDEVINFO set, SP_DEVINFO_DATA& device, const std::wstring& portName) {
  HKEY key = SetupDiCreateDevRegKeyW(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, nullptr, nullptr);
  if (key == INVALID_HANDLE_VALUE) {
    return false;
  }
  const bool ok =
      RegSetValueExW(key, L"PortName", 0, REG_SZ, reinterpret_cast<const BYTE*>(portName.c_str()),
                     static_cast<DWORD>((portName.size() + 1) * sizeof(wchar_t))) == ERROR_SUCCESS;
  RegCloseKey(key);
  return ok;
}

// The path of the device's interface, registered once per prefix, marked present.
std::string RegisterInterface(HDEVINFO set, SP_DEVINFO_DATA& device, const RootDevice& what,
                              std::string* error) {
  SP_DEVICE_INTERFACE_DATA data{};
  data.cbSize = sizeof data;
  const ::GUID cls = ToWin32(what.interfaceClass);
  if (!SetupDiCreateDeviceInterfaceW(set, &device, &cls, nullptr, 0, &data)) {
    return Fail("SetupDiCreateDeviceInterface", error);
  }
  DWORD required = 0;
  SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
  std::vector<BYTE> buffer(required + sizeof(wchar_t));
  auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
  detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
  if (!SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr)) {
    return Fail("SetupDiGetDeviceInterfaceDetail", error);
  }
  const std::string path = Narrow(detail->DevicePath);
  if (!MarkLinked(what.interfaceClass, path, 1)) {
    return Fail("marking the interface present", error);
  }
  return path;
}

// Registers the device (once per prefix), names its port when portName is
// given, and marks its interface present. The interface's path.
std::string RegisterDevice(const RootDevice& what, const std::wstring& portName, std::string* error) {
  HDEVINFO set = SetupDiCreateDeviceInfoList(&what.setupClass, nullptr);
  if (set == INVALID_HANDLE_VALUE) {
    return Fail("SetupDiCreateDeviceInfoList", error);
  }
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  std::string path;
  if (!SetupDiCreateDeviceInfoW(set, what.instanceId, &what.setupClass, nullptr, nullptr, 0, &device) &&
      !SetupDiOpenDeviceInfoW(set, what.instanceId, nullptr, 0, &device)) {
    path = Fail("SetupDiCreateDeviceInfo", error);
  } else if (!SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
             GetLastError() != ERROR_DEVINST_ALREADY_EXISTS) {
    path = Fail("SetupDiRegisterDeviceInfo", error);
  } else if (!portName.empty() && !SetPortName(set, device, portName)) {
    path = Fail("setting the port name", error);
  } else {
    path = RegisterInterface(set, device, what, error);
  }
  SetupDiDestroyDeviceInfoList(set);
  return path;
}

}  // namespace

std::string RegisterTestDevice(std::string* error) {
  if (std::optional<std::vector<std::string>> present = PresentInterfaces(GUID_PDA_DOWNLOAD_INTERFACE)) {
    for (const std::string& path : *present) {
      if (_stricmp(path.c_str(), kTestInterfacePath) == 0) {
        return path;
      }
    }
  }
  return RegisterDevice(kDownloadDevice, L"", error);
}

std::string RegisterTestPort(const std::string& portName, std::string* error) {
  return RegisterDevice(kPortDevice, Widen(portName), error);
}

void RemoveTestPort(const std::string& path) {
  MarkLinked(kPortDevice.interfaceClass, path, 0);
}

}  // namespace tw::test
