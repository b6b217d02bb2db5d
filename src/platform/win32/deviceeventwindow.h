// Device events on Windows: a message-only window on a thread of its own,
// registered (RegisterDeviceNotification) for the download interface class
// and for COM port interfaces; WM_DEVICECHANGE with DBT_DEVICEARRIVAL and
// DBT_DEVICEREMOVECOMPLETE becomes a DeviceEvent:
// - an interface of the download class: kind Other, named by its path, with
//   the device's location;
// - a port (DBT_DEVTYP_PORT, or a COM port interface whose device names its
//   port): kind Port, named "COMn", with its device's location when present.
// The interfaces present at the start, of the download class and then COM
// port interfaces, are reported first, each as its arrival would be.
#pragma once
// clang-format off
#include <windows.h>
#include <dbt.h>
// clang-format on

#include <atomic>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/deviceevents.h"
#include "platform/guid.h"

namespace tw {

class CDeviceEventWindow final : public IDeviceEventSource {
 public:
  // The window class of the message-only window (for FindWindowEx with HWND_MESSAGE).
  static constexpr const wchar_t* kWindowClass = L"TidewellDeviceEvents";
  // The record a WM_DEVICECHANGE carries for an interface of class cls at path.
  static std::vector<BYTE> InterfaceRecord(const GUID& cls, const std::string& path);

  explicit CDeviceEventWindow(const GUID& downloadClass);
  CDeviceEventWindow(const CDeviceEventWindow&) = delete;
  CDeviceEventWindow& operator=(const CDeviceEventWindow&) = delete;
  ~CDeviceEventWindow() override;

  // Makes the window and registers it. False, with GetLastError's code also
  // in errno, when that fails or the source already runs.
  bool Start(Sink sink) override;
  // Closes the window and joins its thread.
  void Stop() override;

  // The window, while the source runs (tests send it WM_DEVICECHANGE).
  HWND Window() const { return m_hWindow.load(); }

  // The event one WM_DEVICECHANGE carries, or nothing for other events and
  // records. Ports are named by the record, or by the device of a COM port
  // interface (knownPorts keeps the names of arrived ones for their removal).
  std::optional<DeviceEvent> EventFor(WPARAM type, const DEV_BROADCAST_HDR* record);

 private:
  static LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
  void Run(Sink sink, std::promise<DWORD>* started);
  bool Register(HWND window);
  // The present interfaces of cls, reported as arrivals.
  void ReportPresent(const GUID& cls);
  void OnDeviceChange(WPARAM type, const DEV_BROADCAST_HDR* record);
  void Unregister();
  // The location of an event's device; key names the device for its removal.
  template <typename InstanceId>
  std::string Locate(const DeviceEvent& event, const std::string& key, InstanceId instanceId);

  GUID m_DownloadClass;
  std::thread m_thread;
  std::atomic<HWND> m_hWindow{nullptr};
  HDEVNOTIFY m_hInterfaceNotify = nullptr;
  HDEVNOTIFY m_hPortNotify = nullptr;
  Sink m_sink;
  std::map<std::string, std::string> m_portOfInterface;  // the window thread's only
  // The location each arrived device had, by interface path or port name (the window thread's only).
  std::map<std::string, std::string> m_locationOf;
};

}  // namespace tw
