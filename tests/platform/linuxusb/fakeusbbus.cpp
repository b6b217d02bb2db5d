#include "tests/platform/linuxusb/fakeusbbus.h"

#include <linux/ioctl.h>
#include <linux/usbdevice_fs.h>
#include <umockdev.h>

#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>

namespace tw::test {

namespace {

std::string Hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char pair[3];
  for (auto b : bytes) {
    std::snprintf(pair, sizeof pair, "%02x", b);
    text += pair;
  }
  return text;
}

// Device, configuration, one vendor interface and its two bulk endpoints.
std::vector<std::uint8_t> Descriptors(const FakeUsbSetup& setup) {
  auto lo = [](std::uint16_t v) { return static_cast<std::uint8_t>(v & 0xFF); };
  auto hi = [](std::uint16_t v) { return static_cast<std::uint8_t>(v >> 8); };
  auto ifnum = static_cast<std::uint8_t>(setup.interfaceNumber);
  // clang-format off
  return {
      0x12, 0x01, 0x00, 0x02, 0x00, 0x00, 0x00, 0x40,                     // device
      lo(setup.vid), hi(setup.vid), lo(setup.pid), hi(setup.pid),
      0x00, 0x01, 0x01, 0x02, 0x03, 0x01,
      0x09, 0x02, 0x20, 0x00, 0x01, 0x01, 0x00, 0x80, 0x32,               // configuration
      0x09, 0x04, ifnum, 0x00, 0x02, 0xFF, 0x00, 0x00, 0x00,              // interface
      0x07, 0x05, 0x81, 0x02, 0x00, 0x02, 0x00,                           // bulk IN 0x81
      0x07, 0x05, 0x02, 0x02, 0x00, 0x02, 0x00,                           // bulk OUT 0x02
  };
  // clang-format on
}

usbdevfs_urb* UrbOf(UMockdevIoctlData* data) {
  return reinterpret_cast<usbdevfs_urb*>(data->data);
}

}  // namespace

void FakeUsbDevice::QueueIn(const std::vector<std::uint8_t>& bytes) {
  std::lock_guard guard(m_lock);
  m_in.insert(m_in.end(), bytes.begin(), bytes.end());
  FillPendingLocked();
}

void FakeUsbDevice::SetResponder(Responder responder) {
  std::lock_guard guard(m_lock);
  m_responder = std::move(responder);
}

void FakeUsbDevice::SetStalled(bool stalled) {
  std::lock_guard guard(m_lock);
  m_stalled = stalled;
}

void FakeUsbDevice::SetNeverAnswers(bool never) {
  std::lock_guard guard(m_lock);
  m_neverAnswers = never;
}

void FakeUsbDevice::SetKernelDriver(const std::string& name) {
  std::lock_guard guard(m_lock);
  m_kernelDriver = name;
  m_driverAttached = !name.empty();
}

bool FakeUsbDevice::KernelDriverAttached() const {
  std::lock_guard guard(m_lock);
  return m_driverAttached;
}

void FakeUsbDevice::SetOnClaim(std::function<void()> onClaim) {
  std::lock_guard guard(m_lock);
  m_onClaim = std::move(onClaim);
}

std::vector<std::uint8_t> FakeUsbDevice::Written() const {
  std::lock_guard guard(m_lock);
  return m_out;
}

bool FakeUsbDevice::WaitWritten(std::size_t n, std::chrono::milliseconds bound) const {
  std::unique_lock guard(m_lock);
  return m_changed.wait_for(guard, bound, [&] { return m_out.size() >= n; });
}

bool FakeUsbDevice::WaitReadPending(std::chrono::milliseconds bound) const {
  std::unique_lock guard(m_lock);
  return m_changed.wait_for(guard, bound, [&] { return !m_pendingIn.empty(); });
}

bool FakeUsbDevice::WaitWritePending(std::chrono::milliseconds bound) const {
  std::unique_lock guard(m_lock);
  return m_changed.wait_for(guard, bound, [&] { return !m_pendingOut.empty(); });
}

bool FakeUsbDevice::Claimed() const {
  std::lock_guard guard(m_lock);
  return m_claimedBy != nullptr;
}

void FakeUsbDevice::FillPendingLocked() {
  while (!m_in.empty() && !m_pendingIn.empty()) {
    Urb urb = m_pendingIn.front();
    m_pendingIn.pop_front();
    usbdevfs_urb* raw = UrbOf(urb.data);
    std::size_t n = std::min(m_in.size(), static_cast<std::size_t>(raw->buffer_length));
    std::copy_n(m_in.begin(), n, static_cast<std::uint8_t*>(raw->buffer));
    m_in.erase(m_in.begin(), m_in.begin() + static_cast<std::ptrdiff_t>(n));
    CompleteLocked(urb, 0, static_cast<int>(n));
  }
}

void FakeUsbDevice::CompleteLocked(Urb urb, int status, int actualLength) {
  UrbOf(urb.data)->status = status;
  UrbOf(urb.data)->actual_length = actualLength;
  m_reapable[urb.client].push_back(urb);
  m_changed.notify_all();
}

FakeUsbBus::FakeUsbBus() {
  const char* preload = std::getenv("LD_PRELOAD");
  if (!preload || !std::strstr(preload, "libumockdev-preload")) {
    throw std::runtime_error("run this test under umockdev-wrapper");
  }
  m_testbed = umockdev_testbed_new();
  m_handler = umockdev_ioctl_base_new();
  g_signal_connect(m_handler, "handle-ioctl", G_CALLBACK(&FakeUsbBus::HandleIoctl), this);
  g_signal_connect(m_handler, "client-vanished", G_CALLBACK(&FakeUsbBus::ClientVanished), this);
}

FakeUsbBus::~FakeUsbBus() {
  // No answer may reach this bus once it goes: the handlers first, then the
  // bed with umockdev's thread, then the handler object.
  g_signal_handlers_disconnect_by_data(m_handler, this);
  for (const auto& device : m_devices) {
    umockdev_testbed_detach_ioctl(m_testbed, device->m_devNode.c_str(), nullptr);
  }
  g_object_unref(m_testbed);
  g_object_unref(m_handler);
  for (const auto& device : m_devices) {
    for (auto* pending : {&device->m_pendingIn, &device->m_pendingOut}) {
      for (auto& urb : *pending) {
        g_object_unref(urb.data);
      }
    }
    for (auto& [client, urbs] : device->m_reapable) {
      for (auto& urb : urbs) {
        g_object_unref(urb.data);
      }
    }
  }
}

FakeUsbDevice& FakeUsbBus::AddDevice(const FakeUsbSetup& setup) {
  auto device = std::make_unique<FakeUsbDevice>();
  int address = m_nextAddress.try_emplace(setup.bus, 2).first->second++;
  char node[32];
  std::snprintf(node, sizeof node, "bus/usb/%03d/%03d", setup.bus, address);
  std::string name = std::to_string(setup.bus) + "-" + setup.ports;
  std::string sysPath = "/devices/pci0000:00/0000:00:14.0/usb" + std::to_string(setup.bus) + "/" + name;
  device->m_devNode = std::string("/dev/") + node;
  device->m_sysPath = "/sys" + sysPath;
  // The handler first, so that the node answers as soon as it exists.
  {
    std::lock_guard guard(m_lock);
    m_devices.push_back(std::move(device));
  }
  FakeUsbDevice& added = *m_devices.back();
  umockdev_testbed_attach_ioctl(m_testbed, added.m_devNode.c_str(), m_handler, nullptr);
  char ids[64];
  std::snprintf(ids, sizeof ids, "A: idVendor=%04x\\n\nA: idProduct=%04x\\n\n", setup.vid, setup.pid);
  std::string record = "P: " + sysPath + "\nN: " + node + "\n" + "E: SUBSYSTEM=usb\nE: DEVTYPE=usb_device\n" +
                       "E: DRIVER=usb\nE: DEVNAME=/dev/" + node + "\n" +
                       "E: BUSNUM=" + std::string(node + 8, 3) + "\nE: DEVNUM=" + std::string(node + 12, 3) +
                       "\n" + ids + "A: busnum=" + std::to_string(setup.bus) + "\\n\n" +
                       "A: devnum=" + std::to_string(address) + "\\n\n" + "A: bConfigurationValue=1\\n\n" +
                       "A: speed=480\\n\nH: descriptors=" + Hex(Descriptors(setup)) + "\n";
  GError* error = nullptr;
  if (!umockdev_testbed_add_from_string(m_testbed, record.c_str(), &error)) {
    std::string message = error ? error->message : "unknown";
    g_clear_error(&error);
    throw std::runtime_error("cannot add the fake device: " + message);
  }
  return added;
}

std::string FakeUsbBus::AddTty(FakeUsbDevice& parent, int interfaceNumber, const std::string& name) {
  std::string deviceName = parent.m_sysPath.substr(parent.m_sysPath.rfind('/') + 1);
  std::string ifaceName = deviceName + ":1." + std::to_string(interfaceNumber);
  char number[8];
  std::snprintf(number, sizeof number, "%02x", interfaceNumber);
  gchar* iface =
      umockdev_testbed_add_device(m_testbed, "usb", ifaceName.c_str(), parent.m_sysPath.c_str(),
                                  "bInterfaceNumber", number, nullptr, "DEVTYPE", "usb_interface", nullptr);
  std::string devName = "/dev/" + name;
  gchar* tty = umockdev_testbed_add_device(m_testbed, "tty", name.c_str(), iface, nullptr, "DEVNAME",
                                           devName.c_str(), nullptr);
  std::string path = tty ? tty : "";
  {
    std::lock_guard guard(m_lock);
    auto& children = parent.m_children;
    children.push_back(iface ? iface : "");
    children.push_back(path);
  }
  g_free(iface);
  g_free(tty);
  return path;
}

std::string FakeUsbBus::AddPlainTty(const std::string& name) {
  std::string devName = "/dev/" + name;
  gchar* tty = umockdev_testbed_add_device(m_testbed, "tty", name.c_str(), nullptr, nullptr, "DEVNAME",
                                           devName.c_str(), nullptr);
  std::string path = tty ? tty : "";
  g_free(tty);
  return path;
}

void FakeUsbBus::RemoveDevice(FakeUsbDevice& device) {
  {
    std::lock_guard guard(device.m_lock);
    device.m_removed = true;
    for (auto* pending : {&device.m_pendingIn, &device.m_pendingOut}) {
      while (!pending->empty()) {
        FakeUsbDevice::Urb urb = pending->front();
        pending->pop_front();
        device.CompleteLocked(urb, -ESHUTDOWN, 0);
      }
    }
  }
  std::vector<std::string> children;
  {
    std::lock_guard guard(m_lock);
    children = device.m_children;
  }
  for (auto child = children.rbegin(); child != children.rend(); ++child) {
    RemovePath(*child);
  }
  RemovePath(device.m_sysPath);
}

void FakeUsbBus::RemovePath(const std::string& sysPath) {
  {
    std::lock_guard guard(m_lock);
    for (const auto& device : m_devices) {
      std::erase(device->m_children, sysPath);
    }
  }
  Uevent(sysPath, "remove");
  umockdev_testbed_remove_device(m_testbed, sysPath.c_str());
}

void FakeUsbBus::Uevent(const std::string& sysPath, const char* action) {
  umockdev_testbed_uevent(m_testbed, sysPath.c_str(), action);
}

FakeUsbDevice* FakeUsbBus::Find(const std::string& devNode) {
  std::lock_guard guard(m_lock);
  for (const auto& device : m_devices) {
    if (devNode.ends_with(device->m_devNode)) {
      return device.get();
    }
  }
  return nullptr;
}

void FakeUsbBus::ClientVanished(UMockdevIoctlBase*, UMockdevIoctlClient* client, FakeUsbBus* bus) {
  std::lock_guard busGuard(bus->m_lock);
  for (const auto& device : bus->m_devices) {
    std::lock_guard guard(device->m_lock);
    if (device->m_claimedBy == client) {
      device->m_claimedBy = nullptr;
    }
    auto it = device->m_reapable.find(client);
    if (it != device->m_reapable.end()) {
      for (auto& urb : it->second) {
        g_object_unref(urb.data);
      }
      device->m_reapable.erase(it);
    }
    for (auto* pending : {&device->m_pendingIn, &device->m_pendingOut}) {
      std::erase_if(*pending, [&](const FakeUsbDevice::Urb& urb) {
        if (urb.client == client) {
          g_object_unref(urb.data);
          return true;
        }
        return false;
      });
    }
    device->m_changed.notify_all();
  }
}

int FakeUsbBus::HandleIoctl(UMockdevIoctlBase*, UMockdevIoctlClient* client, FakeUsbBus* bus) {
  FakeUsbDevice* device = bus->Find(umockdev_ioctl_client_get_devnode(client));
  return device && device->Answer(client) ? TRUE : FALSE;
}

bool FakeUsbDevice::Answer(UMockdevIoctlClient* client) {
  unsigned long request = umockdev_ioctl_client_get_request(client);
  UMockdevIoctlData* arg = umockdev_ioctl_client_get_arg(client);
  std::unique_lock guard(m_lock);
  if (request == USBDEVFS_GET_CAPABILITIES) {
    UMockdevIoctlData* caps = umockdev_ioctl_data_resolve(arg, 0, sizeof(std::uint32_t), nullptr);
    std::uint32_t value = USBDEVFS_CAP_BULK_CONTINUATION | USBDEVFS_CAP_NO_PACKET_SIZE_LIM |
                          USBDEVFS_CAP_REAP_AFTER_DISCONNECT | USBDEVFS_CAP_ZERO_PACKET;
    std::memcpy(caps->data, &value, sizeof value);
    g_object_unref(caps);
    umockdev_ioctl_client_complete(client, 0, 0);
  } else if (request == USBDEVFS_GETDRIVER) {
    AnswerGetDriver(client, arg);
  } else if (request == USBDEVFS_IOCTL) {
    AnswerDriverControl(client, arg);
  } else if (request == USBDEVFS_CLAIMINTERFACE) {
    AnswerClaim(client, guard);
  } else if (request == USBDEVFS_RELEASEINTERFACE) {
    if (m_claimedBy == client) {
      m_claimedBy = nullptr;
    }
    m_changed.notify_all();
    umockdev_ioctl_client_complete(client, m_removed ? -1 : 0, m_removed ? ENODEV : 0);
  } else if (request == USBDEVFS_SUBMITURB) {
    AnswerSubmit(client, arg, guard);
  } else if (request == USBDEVFS_REAPURB || request == USBDEVFS_REAPURBNDELAY) {
    AnswerReap(client, arg);
  } else if (request == USBDEVFS_DISCARDURB) {
    AnswerDiscard(client, arg);
  } else {
    return false;
  }
  return true;
}

void FakeUsbDevice::AnswerClaim(UMockdevIoctlClient* client, std::unique_lock<std::mutex>& guard) {
  // One holder at a time, and not while a kernel driver holds it; the
  // handset greets each new holder.
  if (m_removed || m_driverAttached || (m_claimedBy && m_claimedBy != client)) {
    umockdev_ioctl_client_complete(client, -1, m_removed ? ENODEV : EBUSY);
    return;
  }
  m_claimedBy = client;
  m_changed.notify_all();
  auto onClaim = m_onClaim;
  umockdev_ioctl_client_complete(client, 0, 0);
  guard.unlock();
  if (onClaim) {
    onClaim();
  }
}

void FakeUsbDevice::AnswerSubmit(UMockdevIoctlClient* client, UMockdevIoctlData* arg,
                                 std::unique_lock<std::mutex>& guard) {
  if (m_removed) {
    umockdev_ioctl_client_complete(client, -1, ENODEV);
    return;
  }
  // 1. A local copy of the URB and its buffer, written back when it is reaped.
  UMockdevIoctlData* urbData = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_urb), nullptr);
  usbdevfs_urb* urb = UrbOf(urbData);
  UMockdevIoctlData* buffer = umockdev_ioctl_data_resolve(
      urbData, offsetof(usbdevfs_urb, buffer), static_cast<std::size_t>(urb->buffer_length), nullptr);
  std::vector<std::uint8_t> bytes;
  if (buffer) {
    bytes.assign(buffer->data, buffer->data + urb->buffer_length);
    g_object_unref(buffer);
  }
  Urb pending{client, urbData};
  // 2. IN waits for bytes; OUT waits while stalled, else is taken at once.
  if (urb->endpoint & 0x80) {
    m_pendingIn.push_back(pending);
    FillPendingLocked();
    m_changed.notify_all();
    umockdev_ioctl_client_complete(client, 0, 0);
    return;
  }
  if (m_stalled) {
    m_pendingOut.push_back(pending);
    m_changed.notify_all();
    umockdev_ioctl_client_complete(client, 0, 0);
    return;
  }
  m_out.insert(m_out.end(), bytes.begin(), bytes.end());
  CompleteLocked(pending, 0, urb->buffer_length);
  Responder responder = m_responder;
  umockdev_ioctl_client_complete(client, 0, 0);
  // 3. The responder answers outside the lock.
  guard.unlock();
  if (responder) {
    auto reply = responder(bytes);
    if (!reply.empty()) {
      QueueIn(reply);
    }
  }
}

void FakeUsbDevice::AnswerGetDriver(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  if (m_removed || !m_driverAttached) {
    umockdev_ioctl_client_complete(client, -1, m_removed ? ENODEV : ENODATA);
    return;
  }
  UMockdevIoctlData* query = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_getdriver), nullptr);
  auto* getDriver = reinterpret_cast<usbdevfs_getdriver*>(query->data);
  std::snprintf(getDriver->driver, sizeof getDriver->driver, "%s", m_kernelDriver.c_str());
  g_object_unref(query);
  umockdev_ioctl_client_complete(client, 0, 0);
}

// USBDEVFS_IOCTL with USBDEVFS_DISCONNECT or USBDEVFS_CONNECT: the kernel
// driver lets go of the interface or takes it again.
void FakeUsbDevice::AnswerDriverControl(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  UMockdevIoctlData* control = umockdev_ioctl_data_resolve(arg, 0, sizeof(usbdevfs_ioctl), nullptr);
  int code = reinterpret_cast<usbdevfs_ioctl*>(control->data)->ioctl_code;
  g_object_unref(control);
  bool known = !m_kernelDriver.empty() && (code == USBDEVFS_DISCONNECT || code == USBDEVFS_CONNECT);
  if (m_removed || !known) {
    umockdev_ioctl_client_complete(client, -1, m_removed ? ENODEV : ENODATA);
    return;
  }
  // As the kernel: a connect that binds the driver answers 1.
  m_driverAttached = code == USBDEVFS_CONNECT;
  umockdev_ioctl_client_complete(client, m_driverAttached ? 1 : 0, 0);
}

void FakeUsbDevice::AnswerReap(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  auto& ready = m_reapable[client];
  if (ready.empty()) {
    umockdev_ioctl_client_complete(client, -1, m_removed ? ENODEV : EAGAIN);
    return;
  }
  Urb urb = ready.front();
  ready.pop_front();
  UMockdevIoctlData* target = umockdev_ioctl_data_resolve(arg, 0, sizeof(void*), nullptr);
  umockdev_ioctl_data_set_ptr(target, 0, urb.data);
  g_object_unref(target);
  g_object_unref(urb.data);
  umockdev_ioctl_client_complete(client, 0, 0);
}

void FakeUsbDevice::AnswerDiscard(UMockdevIoctlClient* client, UMockdevIoctlData* arg) {
  if (m_neverAnswers) {
    umockdev_ioctl_client_complete(client, 0, 0);  // taken, and the transfer stays pending
    return;
  }
  unsigned long address = 0;
  std::memcpy(&address, arg->data, sizeof address);
  auto matches = [&](const Urb& urb) { return urb.data->client_addr == address; };
  for (auto* pending : {&m_pendingIn, &m_pendingOut}) {
    auto it = std::find_if(pending->begin(), pending->end(), matches);
    if (it != pending->end()) {
      Urb urb = *it;
      pending->erase(it);
      CompleteLocked(urb, -ENOENT, 0);
      umockdev_ioctl_client_complete(client, 0, 0);
      return;
    }
  }
  umockdev_ioctl_client_complete(client, -1, EINVAL);
}

}  // namespace tw::test
