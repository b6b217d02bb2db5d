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

constexpr const wchar_t* kInstanceId = L"ROOT\\TIDEWELL_TEST\\0000";
// Any setup class does for a root device; the USB class reads naturally.
constexpr ::GUID kUsbSetupClass = {
    0x36FC9E60, 0xC465, 0x11CF, {0x80, 0x56, 0x44, 0x45, 0x53, 0x54, 0x00, 0x00}};

::GUID DownloadClass() {
  ::GUID win{};
  std::memcpy(&win, &GUID_PDA_DOWNLOAD_INTERFACE, sizeof win);
  return win;
}

std::string Fail(const char* step, std::string* error) {
  *error = std::string(step) + " failed: " + std::to_string(GetLastError());
  return {};
}

// Wine lists an interface as present while its Control key says Linked=1.
bool MarkPresent(const std::string& path) {
  std::wstring key =
      L"System\\CurrentControlSet\\Control\\DeviceClasses\\"
      L"{25DBCE51-6C8F-4A72-8A6D-B54C2B4FC835}\\##?#" +
      Widen(path.substr(4)) + L"\\#\\Control";
  HKEY control = nullptr;
  if (RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_WRITE, nullptr, &control,
                      nullptr) != ERROR_SUCCESS) {
    return false;
  }
  const DWORD linked = 1;
  const bool ok = RegSetValueExW(control, L"Linked", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&linked),
                                 sizeof linked) == ERROR_SUCCESS;
  RegCloseKey(control);
  return ok;
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
  const ::GUID cls = DownloadClass();
  HDEVINFO set = SetupDiCreateDeviceInfoList(&kUsbSetupClass, nullptr);
  if (set == INVALID_HANDLE_VALUE) {
    return Fail("SetupDiCreateDeviceInfoList", error);
  }
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  std::string path;
  if (!SetupDiCreateDeviceInfoW(set, kInstanceId, &kUsbSetupClass, nullptr, nullptr, 0, &device) &&
      !SetupDiOpenDeviceInfoW(set, kInstanceId, nullptr, 0, &device)) {
    path = Fail("SetupDiCreateDeviceInfo", error);
  } else if (!SetupDiRegisterDeviceInfo(set, &device, 0, nullptr, nullptr, nullptr) &&
             GetLastError() != ERROR_DEVINST_ALREADY_EXISTS) {
    path = Fail("SetupDiRegisterDeviceInfo", error);
  } else {
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!SetupDiCreateDeviceInterfaceW(set, &device, &cls, nullptr, 0, &data)) {
      path = Fail("SetupDiCreateDeviceInterface", error);
    } else {
      DWORD required = 0;
      SetupDiGetDeviceInterfaceDetailW(set, &data, nullptr, 0, &required, nullptr);
      std::vector<BYTE> buffer(required + sizeof(wchar_t));
      auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_W*>(buffer.data());
      detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_W);
      if (!SetupDiGetDeviceInterfaceDetailW(set, &data, detail, required, nullptr, nullptr)) {
        path = Fail("SetupDiGetDeviceInterfaceDetail", error);
      } else {
        path = Narrow(detail->DevicePath);
        if (!MarkPresent(path)) {
          path = Fail("marking the interface present", error);
        }
      }
    }
  }
  SetupDiDestroyDeviceInfoList(set);
  return path;
}

}  // namespace tw::test
