// tidewell-wine-helper: what the Wine tests do inside the prefix.
//   register                         registers the test device (testdevice.h), prints its path
//   post arrival|removal port COMn   sends WM_DEVICECHANGE for a port to the upgrader's window
//   post arrival|removal interface PATH   ... for a download interface
// Wine sends no WM_DEVICECHANGE for these devices, so the tests send it.
// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "pda/pdaguid.h"
#include "platform/win32/deviceeventwindow.h"
#include "platform/win32/widestring.h"
#include "tests/platform/win32/testdevice.h"

namespace {

int Usage() {
  std::fputs(
      "usage: tidewell-wine-helper register\n"
      "       tidewell-wine-helper post arrival|removal port COMn|interface PATH\n",
      stderr);
  return 2;
}

// The upgrader's device-event window, awaited for a while (it starts with the program).
HWND FindEventWindow() {
  for (int i = 0; i < 200; ++i) {
    if (HWND window = FindWindowExW(HWND_MESSAGE, nullptr, tw::CDeviceEventWindow::kWindowClass, nullptr)) {
      return window;
    }
    Sleep(50);
  }
  return nullptr;
}

int Post(bool arrival, bool port, const std::string& name) {
  HWND window = FindEventWindow();
  if (window == nullptr) {
    std::fputs("tidewell-wine-helper: no device-event window\n", stderr);
    return 1;
  }
  const std::wstring wide = tw::Widen(name);
  std::vector<BYTE> record;
  if (port) {
    record.resize(sizeof(DEV_BROADCAST_PORT_W) + wide.size() * sizeof(wchar_t));
    auto* header = reinterpret_cast<DEV_BROADCAST_PORT_W*>(record.data());
    header->dbcp_size = static_cast<DWORD>(record.size());
    header->dbcp_devicetype = DBT_DEVTYP_PORT;
    std::memcpy(header->dbcp_name, wide.c_str(), (wide.size() + 1) * sizeof(wchar_t));
  } else {
    record = tw::CDeviceEventWindow::InterfaceRecord(tw::GUID_PDA_DOWNLOAD_INTERFACE, name);
  }
  DWORD_PTR result = 0;
  const WPARAM type = arrival ? DBT_DEVICEARRIVAL : DBT_DEVICEREMOVECOMPLETE;
  if (!SendMessageTimeoutW(window, WM_DEVICECHANGE, type, reinterpret_cast<LPARAM>(record.data()),
                           SMTO_ABORTIFHUNG, 5000, &result)) {
    std::fprintf(stderr, "tidewell-wine-helper: WM_DEVICECHANGE not taken: %lu\n", GetLastError());
    return 1;
  }
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::strcmp(argv[1], "register") == 0) {
    std::string error;
    const std::string path = tw::test::RegisterTestDevice(&error);
    if (path.empty()) {
      std::fprintf(stderr, "tidewell-wine-helper: %s\n", error.c_str());
      return 1;
    }
    std::printf("%s\n", path.c_str());
    return 0;
  }
  if (argc == 5 && std::strcmp(argv[1], "post") == 0) {
    const bool arrival = std::strcmp(argv[2], "arrival") == 0;
    const bool port = std::strcmp(argv[3], "port") == 0;
    if ((!arrival && std::strcmp(argv[2], "removal") != 0) ||
        (!port && std::strcmp(argv[3], "interface") != 0)) {
      return Usage();
    }
    return Post(arrival, port, argv[4]);
  }
  return Usage();
}
