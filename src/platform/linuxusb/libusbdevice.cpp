#include "platform/linuxusb/libusbdevice.h"

#include <libusb.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>

#include "platform/processes.h"
#include "platform/trace.h"
#include "platform/tunables.h"

#if defined(TIDEWELL_LEAK_CHECK)
#include <sanitizer/lsan_interface.h>
#endif

namespace tw {

namespace {

constexpr int kInTransfers = 2;
constexpr int kInBufferBytes = 16384;
// Transfers that fail one after another before the device counts as gone.
constexpr int kFailuresBeforeGone = 8;
// How long a cancelled transfer may take to come back.
std::chrono::milliseconds CancelWait() {
  return std::chrono::milliseconds(GetTunables().usbCancelWaitMs);
}

// Marks a block left to libusb on purpose, so that the leak checker of an
// address-sanitizer build reports neither it nor what it points to.
void LeaveToLibusb(const void* block) {
#if defined(TIDEWELL_LEAK_CHECK)
  __lsan_ignore_object(block);
#else
  (void)block;
#endif
}

// Traces a failed libusb call with the error's name; returns rc.
int Check(int rc, const char* what, const std::string& path) {
  if (rc < 0) {
    Trace("libusb: %s on %s failed: %s\n", what, path.c_str(), libusb_error_name(rc));
  }
  return rc;
}

std::string Failure(const char* what, const std::string& path, int rc) {
  return std::string(what) + " " + path + " failed: " + libusb_error_name(rc);
}

// Finds the device at `where` in a fresh device list; the result holds a reference.
libusb_device* FindDevice(libusb_context* ctx, const UsbLocation& where) {
  libusb_device** list = nullptr;
  ssize_t count = libusb_get_device_list(ctx, &list);
  if (count < 0) {
    Check(static_cast<int>(count), "listing devices", where.ToPath());
    return nullptr;
  }
  libusb_device* found = nullptr;
  for (ssize_t i = 0; i < count && !found; ++i) {
    std::uint8_t ports[8];
    int depth = libusb_get_port_numbers(list[i], ports, sizeof ports);
    std::vector<std::uint8_t> chain(ports, ports + std::max(depth, 0));
    if (where.SameDevice(libusb_get_bus_number(list[i]), chain, libusb_get_device_address(list[i]))) {
      found = libusb_ref_device(list[i]);
    }
  }
  libusb_free_device_list(list, 1);
  return found;
}

struct Endpoints {
  unsigned char in = 0;
  unsigned char out = 0;
  int inPacketSize = 0;
};

// The first bulk IN and bulk OUT endpoints of the interface's first setting.
bool FindBulkEndpoints(libusb_device* device, int interfaceNumber, const std::string& path,
                       Endpoints* found) {
  libusb_config_descriptor* config = nullptr;
  if (Check(libusb_get_active_config_descriptor(device, &config), "reading the configuration", path) != 0) {
    return false;
  }
  for (int i = 0; i < config->bNumInterfaces; ++i) {
    const libusb_interface& iface = config->interface[i];
    if (iface.num_altsetting < 1 || iface.altsetting[0].bInterfaceNumber != interfaceNumber) {
      continue;
    }
    const libusb_interface_descriptor& setting = iface.altsetting[0];
    for (int e = 0; e < setting.bNumEndpoints; ++e) {
      const libusb_endpoint_descriptor& ep = setting.endpoint[e];
      if ((ep.bmAttributes & 0x03) != LIBUSB_TRANSFER_TYPE_BULK) {
        continue;
      }
      if ((ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) && found->in == 0) {
        found->in = ep.bEndpointAddress;
        found->inPacketSize = ep.wMaxPacketSize & 0x7FF;
      } else if (!(ep.bEndpointAddress & LIBUSB_ENDPOINT_IN) && found->out == 0) {
        found->out = ep.bEndpointAddress;
      }
    }
  }
  libusb_free_config_descriptor(config);
  return found->in != 0 && found->out != 0;
}

}  // namespace

struct CLibusbDevice::PendingWrite {
  CLibusbDevice* device = nullptr;
  libusb_transfer* transfer = nullptr;
  bool done = false;
  int status = 0;
  int actual = 0;
};

std::unique_ptr<CLibusbDevice> CLibusbDevice::Open(const UsbLocation& where, std::string* error) {
  std::unique_ptr<CLibusbDevice> device(new CLibusbDevice());
  std::string reason;
  if (!device->OpenAt(where, &reason)) {
    // Closing the half-opened device keeps errno (EBUSY for a claimed interface).
    const int saved = errno;
    device.reset();
    errno = saved;
    if (error) {
      *error = reason;
    }
    return nullptr;
  }
  return device;
}

CLibusbDevice::~CLibusbDevice() {
  Close();
}

bool CLibusbDevice::OpenAt(const UsbLocation& where, std::string* error) {
  // 1. A context of our own, so that closing never disturbs another device.
  m_path = where.ToPath();
  m_interface = where.interfaceNumber;
  int rc = Check(libusb_init(&m_ctx), "libusb_init", m_path);
  if (rc < 0) {
    m_ctx = nullptr;
    *error = Failure("starting libusb for", m_path, rc);
    return false;
  }
  // 2. The device and the bulk endpoints of its interface.
  libusb_device* device = FindDevice(m_ctx, where);
  if (!device) {
    *error = "no USB device at " + m_path;
    return false;
  }
  Endpoints endpoints;
  bool haveEndpoints = FindBulkEndpoints(device, m_interface, m_path, &endpoints);
  if (haveEndpoints) {
    rc = Check(libusb_open(device, &m_handle), "libusb_open", m_path);
  }
  libusb_unref_device(device);
  if (!haveEndpoints) {
    *error =
        "interface " + std::to_string(m_interface) + " of " + m_path + " has no bulk IN and OUT endpoints";
    return false;
  }
  if (rc < 0) {
    m_handle = nullptr;
    *error = Failure("opening", m_path, rc);
    if (rc == LIBUSB_ERROR_ACCESS) {
      *error += " (install the udev rules: see docs/hardware.md)";
    }
    return false;
  }
  m_inEndpoint = endpoints.in;
  m_outEndpoint = endpoints.out;
  m_inPacketSize = std::max(endpoints.inPacketSize, 1);
  // 3. Claim the interface (the exclusive open), then keep the receive queue filled.
  return Claim(error) && StartReceiving(error);
}

bool CLibusbDevice::Claim(std::string* error) {
  if (libusb_kernel_driver_active(m_handle, m_interface) == 1) {
    int rc = Check(libusb_detach_kernel_driver(m_handle, m_interface), "detaching the kernel driver", m_path);
    if (rc < 0) {
      *error = Failure("detaching the kernel driver of", m_path, rc);
      return false;
    }
    m_driverDetached = true;
  }
  int rc = Check(libusb_claim_interface(m_handle, m_interface), "libusb_claim_interface", m_path);
  if (rc < 0) {
    *error = Failure("claiming", m_path, rc);
    if (rc == LIBUSB_ERROR_BUSY) {
      // Another program claimed it: named where /proc shows it; errno says
      // busy, as for a serial device that another holder has.
      libusb_device* device = libusb_get_device(m_handle);
      char node[32];
      std::snprintf(node, sizeof node, "/dev/bus/usb/%03d/%03d", libusb_get_bus_number(device),
                    libusb_get_device_address(device));
      *error =
          m_path + ": in use by " + DescribeHolders(FindHolders(node)) + " (" + libusb_error_name(rc) + ")";
      errno = EBUSY;
    }
    return false;
  }
  m_claimed = true;
  return true;
}

bool CLibusbDevice::StartReceiving(std::string* error) {
  m_events = std::thread([this] { RunEvents(); });
  // Round the buffer to whole packets, so that no transfer can overflow.
  int bufferBytes = std::max(kInBufferBytes / m_inPacketSize, 1) * m_inPacketSize;
  std::lock_guard guard(m_lock);
  m_inBuffers.reserve(kInTransfers);
  for (int i = 0; i < kInTransfers; ++i) {
    libusb_transfer* transfer = libusb_alloc_transfer(0);
    if (!transfer) {
      *error = "no memory for the transfers of " + m_path;
      return false;
    }
    m_inTransfers.push_back(transfer);
    m_inPending.push_back(false);
    m_inBuffers.emplace_back(static_cast<std::size_t>(bufferBytes));
    libusb_fill_bulk_transfer(transfer, m_handle, m_inEndpoint, m_inBuffers.back().data(), bufferBytes,
                              &CLibusbDevice::OnReceived, this, 0);
    int rc = Check(libusb_submit_transfer(transfer), "submitting a bulk IN transfer", m_path);
    if (rc < 0) {
      *error = Failure("reading from", m_path, rc);
      return false;
    }
    ++m_inFlight;
    m_inPending.back() = true;
  }
  return true;
}

void CLibusbDevice::RunEvents() {
  while (!m_stopEvents.load()) {
    timeval tv{0, 100000};
    int rc = libusb_handle_events_timeout_completed(m_ctx, &tv, nullptr);
    if (rc < 0 && rc != LIBUSB_ERROR_INTERRUPTED) {
      Check(rc, "handling events", m_path);
      MarkGone("event handling failed");
      break;
    }
  }
}

void CLibusbDevice::Close() {
  // 1. Stop the receive transfers and wait (bounded) until they are back.
  std::unique_lock guard(m_lock);
  m_closing = true;
  guard.unlock();
  for (libusb_transfer* transfer : m_inTransfers) {
    libusb_cancel_transfer(transfer);  // fails harmlessly for one that is not in flight
  }
  guard.lock();
  m_changed.wait_for(guard, CancelWait(), [this] { return m_inFlight == 0; });
  guard.unlock();
  // 2. Give the interface back, and to its kernel driver if it had one.
  if (m_claimed) {
    int rc = libusb_release_interface(m_handle, m_interface);
    if (rc != LIBUSB_ERROR_NO_DEVICE) {
      Check(rc, "libusb_release_interface", m_path);
    }
  }
  if (m_driverDetached) {
    Check(libusb_attach_kernel_driver(m_handle, m_interface), "attaching the kernel driver", m_path);
  }
  // 3. Close the handle (this drops any transfer still listed), then end the event thread.
  if (m_handle) {
    libusb_close(m_handle);
    m_handle = nullptr;
  }
  if (m_events.joinable()) {
    m_stopEvents = true;
    libusb_interrupt_event_handler(m_ctx);
    m_events.join();
  }
  FreeReceiveTransfers();
  if (m_ctx) {
    libusb_exit(m_ctx);
    m_ctx = nullptr;
  }
}

void CLibusbDevice::FreeReceiveTransfers() {
  // A transfer that did not come back after its cancel may still be
  // completed by libusb: it is left to libusb with its buffer, never freed
  // under it. The leak is small and happens only with a handset or driver
  // that stopped answering.
  struct Left {
    std::vector<libusb_transfer*> transfers;
    std::vector<std::vector<unsigned char>> buffers;
  };
  auto left = std::make_unique<Left>();
  for (std::size_t i = 0; i < m_inTransfers.size(); ++i) {
    if (m_inPending[i]) {
      left->transfers.push_back(m_inTransfers[i]);
      left->buffers.push_back(std::move(m_inBuffers[i]));
    } else {
      libusb_free_transfer(m_inTransfers[i]);
    }
  }
  if (!left->transfers.empty()) {
    Trace(
        "libusb: %s: %zu receive transfer(s) did not come back after the cancel; left to libusb, not freed\n",
        m_path.c_str(), left->transfers.size());
    LeaveToLibusb(left.release());
  }
  m_inTransfers.clear();
  m_inPending.clear();
  m_inBuffers.clear();
}

void CLibusbDevice::MarkGone(const char* why) {
  std::lock_guard guard(m_lock);
  if (!m_gone) {
    Trace("libusb: %s is gone: %s\n", m_path.c_str(), why);
  }
  m_gone = true;
  m_changed.notify_all();
}

void CLibusbDevice::OnReceived(libusb_transfer* transfer) {
  auto* self = static_cast<CLibusbDevice*>(transfer->user_data);
  std::lock_guard guard(self->m_lock);
  bool wasGone = self->m_gone;
  // 1. Keep what arrived, or note why nothing did.
  if (transfer->status == LIBUSB_TRANSFER_COMPLETED) {
    self->m_received.insert(self->m_received.end(), transfer->buffer,
                            transfer->buffer + transfer->actual_length);
    self->m_failedInRow = 0;
  } else if (transfer->status == LIBUSB_TRANSFER_NO_DEVICE) {
    self->m_gone = true;
  } else if (transfer->status != LIBUSB_TRANSFER_CANCELLED) {
    Trace("libusb: bulk IN on %s ended with %s\n", self->m_path.c_str(), libusb_error_name(transfer->status));
    if (++self->m_failedInRow >= kFailuresBeforeGone) {
      self->m_gone = true;
    }
  }
  // 2. Send it out again unless the device is closing or gone.
  bool again = !self->m_closing && !self->m_gone && transfer->status != LIBUSB_TRANSFER_CANCELLED;
  if (again) {
    int rc = Check(libusb_submit_transfer(transfer), "resubmitting a bulk IN transfer", self->m_path);
    if (rc < 0) {
      self->m_gone = true;
      again = false;
    }
  }
  if (!again) {
    --self->m_inFlight;
    const auto it = std::find(self->m_inTransfers.begin(), self->m_inTransfers.end(), transfer);
    self->m_inPending[static_cast<std::size_t>(it - self->m_inTransfers.begin())] = false;
  }
  if (self->m_gone && !wasGone) {
    Trace("libusb: %s is gone\n", self->m_path.c_str());
  }
  self->m_changed.notify_all();
}

void CLibusbDevice::OnWritten(libusb_transfer* transfer) {
  auto* write = static_cast<PendingWrite*>(transfer->user_data);
  std::lock_guard guard(write->device->m_lock);
  write->done = true;
  write->status = transfer->status;
  write->actual = transfer->actual_length;
  write->device->m_changed.notify_all();
}

long CLibusbDevice::BytesWaiting() {
  std::lock_guard guard(m_lock);
  return m_gone ? -1 : static_cast<long>(m_received.size());
}

int CLibusbDevice::WaitReceive(int timeoutMs) {
  std::unique_lock guard(m_lock);
  m_changed.wait_for(guard, std::chrono::milliseconds(std::max(timeoutMs, 0)),
                     [this] { return m_gone || !m_received.empty(); });
  if (m_gone) {
    return -1;
  }
  return m_received.empty() ? 0 : 1;
}

long CLibusbDevice::Read(void* dst, std::size_t n) {
  std::lock_guard guard(m_lock);
  if (m_gone) {
    return -1;
  }
  std::size_t count = std::min(n, m_received.size());
  std::copy_n(m_received.begin(), count, static_cast<std::uint8_t*>(dst));
  m_received.erase(m_received.begin(), m_received.begin() + static_cast<std::ptrdiff_t>(count));
  return static_cast<long>(count);
}

bool CLibusbDevice::Write(const void* src, std::size_t n, int timeoutMs) {
  if (n == 0) {
    return BytesWaiting() >= 0;
  }
  if (n > static_cast<std::size_t>(INT32_MAX) || BytesWaiting() < 0) {
    return false;
  }
  // 1. One bulk OUT transfer for the whole buffer, bounded by the time-out.
  libusb_transfer* transfer = libusb_alloc_transfer(0);
  if (!transfer) {
    return false;
  }
  auto write = std::make_unique<PendingWrite>();
  write->device = this;
  write->transfer = transfer;
  libusb_fill_bulk_transfer(transfer, m_handle, m_outEndpoint,
                            static_cast<unsigned char*>(const_cast<void*>(src)), static_cast<int>(n),
                            &CLibusbDevice::OnWritten, write.get(),
                            static_cast<unsigned>(std::max(timeoutMs, 1)));
  int rc = Check(libusb_submit_transfer(transfer), "submitting a bulk OUT transfer", m_path);
  if (rc < 0) {
    libusb_free_transfer(transfer);
    if (rc == LIBUSB_ERROR_NO_DEVICE) {
      MarkGone("submitting a write failed");
    }
    return false;
  }
  // 2. Wait for it. A transfer that never comes back stays with libusb until
  //    the handle closes, so neither it nor its record may be freed here.
  if (!WaitForWrite(transfer, *write, timeoutMs)) {
    Trace("libusb: a bulk OUT transfer on %s did not come back after the cancel; left to libusb, not freed\n",
          m_path.c_str());
    LeaveToLibusb(write.release());
    return false;
  }
  libusb_free_transfer(transfer);
  // 3. Only a complete write counts.
  if (write->status == LIBUSB_TRANSFER_NO_DEVICE) {
    MarkGone("a write found no device");
  } else if (write->status != LIBUSB_TRANSFER_COMPLETED) {
    Trace("libusb: bulk OUT on %s ended with %s after %d of %zu bytes\n", m_path.c_str(),
          libusb_error_name(write->status), write->actual, n);
  }
  return write->status == LIBUSB_TRANSFER_COMPLETED && write->actual == static_cast<int>(n);
}

bool CLibusbDevice::WaitForWrite(libusb_transfer* transfer, PendingWrite& write, int timeoutMs) {
  std::unique_lock guard(m_lock);
  // libusb ends the transfer at its time-out; the extra time covers a stalled event thread.
  auto bound = std::chrono::milliseconds(std::max(timeoutMs, 1)) + CancelWait();
  m_changed.wait_for(guard, bound, [&] { return write.done || m_gone; });
  if (write.done) {
    return true;
  }
  // The device went away or the event thread stalled: call the transfer back.
  guard.unlock();
  libusb_cancel_transfer(transfer);
  guard.lock();
  return m_changed.wait_for(guard, CancelWait(), [&] { return write.done; });
}

void CLibusbDevice::Purge() {
  std::lock_guard guard(m_lock);
  m_received.clear();
}

}  // namespace tw
