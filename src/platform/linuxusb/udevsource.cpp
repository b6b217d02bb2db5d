#include "platform/linuxusb/udevsource.h"

#include <libudev.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/trace.h"

namespace tw {

namespace {

// A 16-bit hexadecimal sysfs attribute ("idVendor"), or -1.
int HexAttribute(udev_device* device, const char* name) {
  const char* text = udev_device_get_sysattr_value(device, name);
  if (!text) {
    return -1;
  }
  char* end = nullptr;
  long value = std::strtol(text, &end, 16);
  return (end == text || value < 0 || value > 0xFFFF) ? -1 : static_cast<int>(value);
}

std::string Text(const char* text) {
  return text ? text : "";
}

}  // namespace

CUdevSource::CUdevSource(CUsbIdRules rules, CPortTable& ports) : m_rules(std::move(rules)), m_ports(ports) {}

CUdevSource::~CUdevSource() {
  Stop();
}

bool CUdevSource::Start(Sink sink) {
  if (m_thread.joinable()) {
    return false;
  }
  // 1. The monitor listens before the enumeration, so nothing falls between them.
  m_udev = udev_new();
  if (m_udev) {
    m_monitor = udev_monitor_new_from_netlink(m_udev, "udev");
  }
  if (!m_monitor || udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "usb", "usb_device") < 0 ||
      udev_monitor_filter_add_match_subsystem_devtype(m_monitor, "tty", nullptr) < 0 ||
      udev_monitor_enable_receiving(m_monitor) < 0) {
    Trace("udev: cannot watch devices: %s\n", std::strerror(errno));
    Release();
    return false;
  }
  m_wakeFd = eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (m_wakeFd < 0) {
    Release();
    return false;
  }
  // 2. The thread reports what is present, then what comes and goes.
  m_thread = std::thread([this, sink = std::move(sink)] { Run(sink); });
  return true;
}

void CUdevSource::Stop() {
  if (m_thread.joinable()) {
    std::uint64_t one = 1;
    ssize_t written = write(m_wakeFd, &one, sizeof one);
    (void)written;
    m_thread.join();
  }
  // A later start reports the present devices afresh, with numbers given anew.
  for (const auto& [sysPath, reported] : m_reported) {
    if (reported.port != 0) {
      m_ports.Remove(reported.port);
    }
  }
  m_reported.clear();
  Release();
}

void CUdevSource::Release() {
  if (m_wakeFd >= 0) {
    close(m_wakeFd);
    m_wakeFd = -1;
  }
  if (m_monitor) {
    udev_monitor_unref(m_monitor);
    m_monitor = nullptr;
  }
  if (m_udev) {
    udev_unref(m_udev);
    m_udev = nullptr;
  }
}

void CUdevSource::Run(Sink sink) {
  ReportPresent(sink);
  pollfd fds[2] = {{udev_monitor_get_fd(m_monitor), POLLIN, 0}, {m_wakeFd, POLLIN, 0}};
  while (true) {
    if (poll(fds, 2, -1) < 0) {
      if (errno == EINTR) {
        continue;
      }
      Trace("udev: waiting for events failed: %s\n", std::strerror(errno));
      return;
    }
    if (fds[1].revents != 0) {
      return;
    }
    udev_device* device = udev_monitor_receive_device(m_monitor);
    if (!device) {
      continue;
    }
    std::string action = Text(udev_device_get_action(device));
    if (action == "add") {
      Handle(sink, device, DeviceEvent::Action::Arrival);
    } else if (action == "remove") {
      Handle(sink, device, DeviceEvent::Action::Removal);
    }
    udev_device_unref(device);
  }
}

void CUdevSource::ReportPresent(const Sink& sink) {
  udev_enumerate* enumerate = udev_enumerate_new(m_udev);
  if (!enumerate) {
    return;
  }
  udev_enumerate_add_match_subsystem(enumerate, "usb");
  udev_enumerate_add_match_subsystem(enumerate, "tty");
  udev_enumerate_scan_devices(enumerate);
  udev_list_entry* entry = nullptr;
  udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(enumerate)) {
    udev_device* device = udev_device_new_from_syspath(m_udev, udev_list_entry_get_name(entry));
    if (device) {
      Handle(sink, device, DeviceEvent::Action::Arrival);
      udev_device_unref(device);
    }
  }
  udev_enumerate_unref(enumerate);
}

void CUdevSource::Handle(const Sink& sink, udev_device* device, DeviceEvent::Action action) {
  std::string sysPath = Text(udev_device_get_syspath(device));
  auto known = m_reported.find(sysPath);
  DeviceEvent event;
  event.action = action;
  if (action == DeviceEvent::Action::Removal) {
    // 1. A removal of what was reported: the same kind and name; the port number is free again.
    if (known == m_reported.end()) {
      return;
    }
    event.kind = known->second.kind;
    event.name = known->second.name;
    event.location = known->second.location;
    if (known->second.port != 0) {
      m_ports.Remove(known->second.port);
    }
    m_reported.erase(known);
  } else {
    // 2. An arrival of a device the rules name, reported once.
    std::optional<Reported> found = known == m_reported.end() ? Identify(device) : std::nullopt;
    if (!found) {
      return;
    }
    event.kind = found->kind;
    event.name = found->name;
    event.location = found->location;
    m_reported[sysPath] = *found;
  }
  Trace("udev: %s %s at %s\n", action == DeviceEvent::Action::Arrival ? "arrival" : "removal",
        event.name.c_str(), event.location.c_str());
  sink(event);
}

std::optional<CUdevSource::Reported> CUdevSource::Identify(udev_device* device) {
  std::string subsystem = Text(udev_device_get_subsystem(device));
  if (subsystem == "usb" && Text(udev_device_get_devtype(device)) == "usb_device") {
    // A USB device that a download rule names, by its download interface path.
    int vid = HexAttribute(device, "idVendor");
    int pid = HexAttribute(device, "idProduct");
    auto rule = (vid < 0 || pid < 0) ? std::nullopt : m_rules.DownloadRule(vid, pid);
    if (!rule) {
      return std::nullopt;
    }
    std::string location = Text(udev_device_get_sysname(device));
    return Reported{DeviceEvent::Kind::Other, "usb:" + location + ":" + std::to_string(rule->interfaceNumber),
                    location};
  }
  if (subsystem != "tty") {
    return std::nullopt;
  }
  // A serial device whose USB device any rule names, by a COM number of its own.
  udev_device* usb = udev_device_get_parent_with_subsystem_devtype(device, "usb", "usb_device");
  int vid = usb ? HexAttribute(usb, "idVendor") : -1;
  int pid = usb ? HexAttribute(usb, "idProduct") : -1;
  std::string devNode = Text(udev_device_get_devnode(device));
  if (vid < 0 || pid < 0 || !m_rules.MatchesDevice(vid, pid) || devNode.empty()) {
    return std::nullopt;
  }
  int number = AssignPortNumber(devNode);
  if (number == 0) {
    Trace("udev: no free COM number for %s\n", devNode.c_str());
    return std::nullopt;
  }
  Trace("udev: %s is COM%d\n", devNode.c_str(), number);
  return Reported{DeviceEvent::Kind::Port, "COM" + std::to_string(number), Text(udev_device_get_sysname(usb)),
                  number};
}

int CUdevSource::AssignPortNumber(const std::string& devNode) {
  for (int n = kFirstPortNumber; n <= CPortTable::kMaxPortNumber; ++n) {
    if (!m_ports.Lookup(n)) {
      m_ports.Set(n, devNode);
      return n;
    }
  }
  return 0;
}

}  // namespace tw
