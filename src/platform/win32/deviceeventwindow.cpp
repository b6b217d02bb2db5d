#include "platform/win32/deviceeventwindow.h"

#include <cerrno>
#include <cstring>

#include "platform/trace.h"
#include "platform/win32/setupapi.h"
#include "platform/win32/widestring.h"

namespace tw {

namespace {

::GUID ToWin32(const GUID& cls) {
  ::GUID win{};
  std::memcpy(&win, &cls, sizeof win);
  return win;
}

GUID FromWin32(const ::GUID& win) {
  GUID cls{};
  std::memcpy(&cls, &win, sizeof cls);
  return cls;
}

bool RegisterWindowClass(WNDPROC procedure) {
  WNDCLASSEXW windowClass{};
  windowClass.cbSize = sizeof windowClass;
  windowClass.lpfnWndProc = procedure;
  windowClass.hInstance = GetModuleHandleW(nullptr);
  windowClass.lpszClassName = CDeviceEventWindow::kWindowClass;
  return RegisterClassExW(&windowClass) != 0 || GetLastError() == ERROR_CLASS_ALREADY_EXISTS;
}

HDEVNOTIFY RegisterInterfaceClass(HWND window, const GUID& cls) {
  DEV_BROADCAST_DEVICEINTERFACE_W filter{};
  filter.dbcc_size = sizeof filter;
  filter.dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  filter.dbcc_classguid = ToWin32(cls);
  return RegisterDeviceNotificationW(window, &filter, DEVICE_NOTIFY_WINDOW_HANDLE);
}

}  // namespace

CDeviceEventWindow::CDeviceEventWindow(const GUID& downloadClass) : m_DownloadClass(downloadClass) {}

CDeviceEventWindow::~CDeviceEventWindow() {
  Stop();
}

bool CDeviceEventWindow::Start(Sink sink) {
  if (m_thread.joinable()) {
    errno = EBUSY;
    return false;
  }
  std::promise<DWORD> started;
  std::future<DWORD> result = started.get_future();
  m_thread =
      std::thread([this, sink = std::move(sink), &started]() mutable { Run(std::move(sink), &started); });
  const DWORD error = result.get();
  if (error != ERROR_SUCCESS) {
    m_thread.join();
    errno = static_cast<int>(error);
    return false;
  }
  return true;
}

void CDeviceEventWindow::Stop() {
  if (!m_thread.joinable()) {
    return;
  }
  if (HWND window = m_hWindow.load()) {
    PostMessageW(window, WM_CLOSE, 0, 0);
  }
  // From the sink (the window's own thread) the loop only ends; the owner joins.
  if (std::this_thread::get_id() != m_thread.get_id()) {
    m_thread.join();
  }
}

void CDeviceEventWindow::Run(Sink sink, std::promise<DWORD>* started) {
  // 1. The message-only window, with this object behind it.
  m_sink = std::move(sink);
  if (!RegisterWindowClass(WindowProc)) {
    started->set_value(GetLastError());
    return;
  }
  HWND window = CreateWindowExW(0, kWindowClass, L"Tidewell device events", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, GetModuleHandleW(nullptr), this);
  if (window == nullptr) {
    started->set_value(GetLastError());
    return;
  }
  // 2. The notifications for the download interface class and COM ports.
  if (!Register(window)) {
    const DWORD error = GetLastError();
    DestroyWindow(window);
    started->set_value(error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE);
    return;
  }
  m_hWindow = window;
  // 3. What is already present arrives first, before Start returns: the
  //    download interfaces (a handset takes the idle slot before any port),
  //    then the COM ports.
  ReportPresent(m_DownloadClass);
  ReportPresent(kComPortInterface);
  started->set_value(ERROR_SUCCESS);
  // 4. The window's messages until it closes.
  MSG message;
  while (GetMessageW(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  Unregister();
  m_hWindow = nullptr;
}

bool CDeviceEventWindow::Register(HWND window) {
  m_hInterfaceNotify = RegisterInterfaceClass(window, m_DownloadClass);
  if (m_hInterfaceNotify == nullptr) {
    Trace("HUB RegisterDeviceNotification failed: %lu\n", GetLastError());
    return false;
  }
  // A message-only window receives no port broadcasts: COM ports come as
  // interfaces of their class. Without that registration ports are still
  // taken from DBT_DEVTYP_PORT records.
  m_hPortNotify = RegisterInterfaceClass(window, kComPortInterface);
  return true;
}

void CDeviceEventWindow::ReportPresent(const GUID& cls) {
  std::optional<std::vector<std::string>> present = PresentInterfaces(cls);
  if (!present) {
    Trace("SetupDiGetClassDevs failed: %lu\n", GetLastError());
    return;
  }
  for (const std::string& path : *present) {
    const std::vector<BYTE> record = InterfaceRecord(cls, path);
    OnDeviceChange(DBT_DEVICEARRIVAL, reinterpret_cast<const DEV_BROADCAST_HDR*>(record.data()));
  }
}

std::vector<BYTE> CDeviceEventWindow::InterfaceRecord(const GUID& cls, const std::string& path) {
  const std::wstring name = Widen(path);
  std::vector<BYTE> record(sizeof(DEV_BROADCAST_DEVICEINTERFACE_W) + name.size() * sizeof(wchar_t));
  auto* device = reinterpret_cast<DEV_BROADCAST_DEVICEINTERFACE_W*>(record.data());
  device->dbcc_size = static_cast<DWORD>(record.size());
  device->dbcc_devicetype = DBT_DEVTYP_DEVICEINTERFACE;
  device->dbcc_classguid = ToWin32(cls);
  std::memcpy(device->dbcc_name, name.c_str(), (name.size() + 1) * sizeof(wchar_t));
  return record;
}

void CDeviceEventWindow::Unregister() {
  for (HDEVNOTIFY* notify : {&m_hInterfaceNotify, &m_hPortNotify}) {
    if (*notify != nullptr) {
      UnregisterDeviceNotification(*notify);
      *notify = nullptr;
    }
  }
}

LRESULT CALLBACK CDeviceEventWindow::WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* self = reinterpret_cast<CDeviceEventWindow*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  switch (message) {
    case WM_DEVICECHANGE:
      if (self != nullptr) {
        self->OnDeviceChange(wParam, reinterpret_cast<const DEV_BROADCAST_HDR*>(lParam));
      }
      return TRUE;
    case WM_CLOSE:
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcW(window, message, wParam, lParam);
  }
}

void CDeviceEventWindow::OnDeviceChange(WPARAM type, const DEV_BROADCAST_HDR* record) {
  if (std::optional<DeviceEvent> event = EventFor(type, record)) {
    m_sink(*event);
  }
}

std::optional<DeviceEvent> CDeviceEventWindow::EventFor(WPARAM type, const DEV_BROADCAST_HDR* record) {
  if ((type != DBT_DEVICEARRIVAL && type != DBT_DEVICEREMOVECOMPLETE) || record == nullptr) {
    return std::nullopt;
  }
  DeviceEvent event;
  event.action = type == DBT_DEVICEARRIVAL ? DeviceEvent::Action::Arrival : DeviceEvent::Action::Removal;
  if (record->dbch_devicetype == DBT_DEVTYP_PORT) {
    // A port by its name ("COM7"; "LPT1" too: detection passes it over).
    const auto* port = reinterpret_cast<const DEV_BROADCAST_PORT_W*>(record);
    event.kind = DeviceEvent::Kind::Port;
    event.name = Narrow(port->dbcp_name);
    event.location = Locate(event, event.name, [&] { return InstanceIdOfPort(event.name); });
    return event;
  }
  if (record->dbch_devicetype != DBT_DEVTYP_DEVICEINTERFACE) {
    return std::nullopt;
  }
  const auto* device = reinterpret_cast<const DEV_BROADCAST_DEVICEINTERFACE_W*>(record);
  const std::string path = Narrow(device->dbcc_name);
  const GUID cls = FromWin32(device->dbcc_classguid);
  if (cls == m_DownloadClass) {
    event.kind = DeviceEvent::Kind::Other;
    event.name = path;
    event.location = Locate(event, path, [&] { return InstanceIdOfInterfacePath(path); });
    return event;
  }
  if (cls != kComPortInterface) {
    return std::nullopt;
  }
  // A COM port interface: its device names the port while it is present,
  // so a removal takes the name its arrival found.
  event.kind = DeviceEvent::Kind::Port;
  if (event.action == DeviceEvent::Action::Arrival) {
    event.name = PortNameOfInterface(path);
    if (!event.name.empty()) {
      m_portOfInterface[path] = event.name;
    }
  } else if (auto known = m_portOfInterface.find(path); known != m_portOfInterface.end()) {
    event.name = known->second;
    m_portOfInterface.erase(known);
  }
  if (event.name.empty()) {
    return std::nullopt;
  }
  event.location = Locate(event, path, [&] { return InstanceIdOfInterfacePath(path); });
  return event;
}

template <typename InstanceId>
std::string CDeviceEventWindow::Locate(const DeviceEvent& event, const std::string& key,
                                       InstanceId instanceId) {
  // An arrival asks the device tree while the device is there; its removal
  // takes what the arrival found, since the device is gone by then.
  if (event.action == DeviceEvent::Action::Removal) {
    auto known = m_locationOf.find(key);
    if (known == m_locationOf.end()) {
      return {};
    }
    std::string location = std::move(known->second);
    m_locationOf.erase(known);
    return location;
  }
  const std::string id = instanceId();
  std::string location = id.empty() ? std::string() : LocationOfDevice(id);
  m_locationOf[key] = location;
  return location;
}

}  // namespace tw
