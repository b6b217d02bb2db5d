// The handset's USB download interface through libusb-1.0: an IByteDevice
// over its bulk IN and OUT endpoints.
//
// Opening claims the interface, which makes the open exclusive; a kernel
// driver that holds it is detached and attached again on close. Received
// bytes land in a receive queue that asynchronous IN transfers keep filling,
// driven by an event thread of the device's own (stopped and joined on
// close). A device that vanishes ends every wait at once.
#pragma once
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/bytedevice.h"
#include "platform/linuxusb/usblocation.h"

struct libusb_context;
struct libusb_device_handle;
struct libusb_transfer;

namespace tw {

class CLibusbDevice final : public IByteDevice {
 public:
  // Opens and claims the interface at `where`. Null on failure, with the reason in *error.
  static std::unique_ptr<CLibusbDevice> Open(const UsbLocation& where, std::string* error);
  ~CLibusbDevice() override;

  CLibusbDevice(const CLibusbDevice&) = delete;
  CLibusbDevice& operator=(const CLibusbDevice&) = delete;

  long BytesWaiting() override;
  int WaitReceive(int timeoutMs) override;
  long Read(void* dst, std::size_t n) override;
  bool Write(const void* src, std::size_t n, int timeoutMs) override;
  void Purge() override;
  // Each bulk IN transfer lands in the receive queue at once.
  bool DeliversWholeMessages() const override { return true; }

 private:
  struct PendingWrite;

  CLibusbDevice() = default;
  bool OpenAt(const UsbLocation& where, std::string* error);
  bool Claim(std::string* error);
  bool StartReceiving(std::string* error);
  void RunEvents();
  void Close();
  void FreeReceiveTransfers();
  void MarkGone(const char* why);
  bool WaitForWrite(libusb_transfer* transfer, PendingWrite& write, int timeoutMs);
  static void OnReceived(libusb_transfer* transfer);
  static void OnWritten(libusb_transfer* transfer);

  std::string m_path;
  libusb_context* m_ctx = nullptr;
  libusb_device_handle* m_handle = nullptr;
  int m_interface = 0;
  unsigned char m_inEndpoint = 0;
  unsigned char m_outEndpoint = 0;
  int m_inPacketSize = 64;
  bool m_claimed = false;
  bool m_driverDetached = false;
  std::vector<libusb_transfer*> m_inTransfers;
  std::vector<bool> m_inPending;  // per receive transfer: submitted and not back (under m_lock)
  std::vector<std::vector<unsigned char>> m_inBuffers;

  std::mutex m_lock;
  std::condition_variable m_changed;
  std::deque<std::uint8_t> m_received;
  int m_inFlight = 0;
  int m_failedInRow = 0;
  bool m_gone = false;
  bool m_closing = false;

  std::atomic<bool> m_stopEvents{false};
  std::thread m_events;
};

}  // namespace tw
