// A umockdev test bed with fake USB handsets behind real libusb and libudev.
//
// Each device gets a sysfs entry with its descriptors and a device node whose
// usbfs ioctls a handler answers: claiming interfaces (one holder at a time),
// bulk OUT transfers (kept, and passed to an optional responder), bulk IN
// transfers (filled from a queue as bytes are queued) and removal (pending
// transfers end with "device gone", later calls fail with ENODEV).
//
// Must run under umockdev-wrapper. Every bus has its own test bed directory,
// removed when the bus is destroyed.
#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

typedef struct _UMockdevTestbed UMockdevTestbed;
typedef struct _UMockdevIoctlBase UMockdevIoctlBase;
typedef struct _UMockdevIoctlClient UMockdevIoctlClient;
typedef struct _UMockdevIoctlData UMockdevIoctlData;

namespace tw::test {

struct FakeUsbSetup {
  int bus = 1;
  std::string ports = "2";  // "2" or "2.3": the port chain below the root hub
  std::uint16_t vid = 0xffff;
  std::uint16_t pid = 0x0352;
  int interfaceNumber = 0;
};

class FakeUsbDevice {
 public:
  // Answers the bytes of each bulk OUT transfer with bytes to send back.
  using Responder = std::function<std::vector<std::uint8_t>(const std::vector<std::uint8_t>&)>;

  std::string SysPath() const { return m_sysPath; }
  std::string DevNode() const { return m_devNode; }

  void QueueIn(const std::vector<std::uint8_t>& bytes);
  void SetResponder(Responder responder);
  // A stalled handset takes no bulk OUT transfer: they stay pending until called back.
  void SetStalled(bool stalled);
  // A handset that never answers: a transfer it holds stays pending even
  // when the host cancels it.
  void SetNeverAnswers(bool never);
  // A kernel driver (e.g. "cdc_acm") that holds the interface until detached.
  void SetKernelDriver(const std::string& name);
  bool KernelDriverAttached() const;
  // Called each time a host claims the interface (opens the channel).
  void SetOnClaim(std::function<void()> onClaim);
  // Everything the host has written so far.
  std::vector<std::uint8_t> Written() const;
  // Waits until the host has written at least n bytes.
  bool WaitWritten(std::size_t n, std::chrono::milliseconds bound) const;
  // Waits until the host has an IN transfer waiting for data.
  bool WaitReadPending(std::chrono::milliseconds bound) const;
  // Waits until a stalled handset holds an OUT transfer of the host.
  bool WaitWritePending(std::chrono::milliseconds bound) const;
  bool Claimed() const;

 private:
  friend class FakeUsbBus;
  struct Urb {
    UMockdevIoctlClient* client;
    UMockdevIoctlData* data;  // holds a reference
  };
  // Answers one usbfs ioctl on the handler's thread; false for one it does not know.
  bool Answer(UMockdevIoctlClient* client);
  void AnswerClaim(UMockdevIoctlClient* client, std::unique_lock<std::mutex>& guard);
  void AnswerSubmit(UMockdevIoctlClient* client, UMockdevIoctlData* arg, std::unique_lock<std::mutex>& guard);
  void AnswerReap(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void AnswerDiscard(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void AnswerGetDriver(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void AnswerDriverControl(UMockdevIoctlClient* client, UMockdevIoctlData* arg);
  void FillPendingLocked();
  void CompleteLocked(Urb urb, int status, int actualLength);

  std::string m_sysPath;
  std::string m_devNode;
  std::vector<std::string> m_children;  // interfaces and ttys, in the order added
  mutable std::mutex m_lock;
  mutable std::condition_variable m_changed;
  std::deque<std::uint8_t> m_in;
  std::vector<std::uint8_t> m_out;
  std::deque<Urb> m_pendingIn;
  std::deque<Urb> m_pendingOut;  // while stalled
  std::map<UMockdevIoctlClient*, std::deque<Urb>> m_reapable;
  UMockdevIoctlClient* m_claimedBy = nullptr;
  bool m_removed = false;
  bool m_stalled = false;
  bool m_neverAnswers = false;
  std::string m_kernelDriver;
  bool m_driverAttached = false;
  Responder m_responder;
  std::function<void()> m_onClaim;
};

class FakeUsbBus {
 public:
  FakeUsbBus();
  ~FakeUsbBus();
  FakeUsbBus(const FakeUsbBus&) = delete;
  FakeUsbBus& operator=(const FakeUsbBus&) = delete;

  // A handset with one vendor interface (bulk IN 0x81, bulk OUT 0x02). Sends no uevent.
  FakeUsbDevice& AddDevice(const FakeUsbSetup& setup);
  // A tty below interface `interfaceNumber` of a device (an ACM modem port). Sends no uevent.
  std::string AddTty(FakeUsbDevice& parent, int interfaceNumber, const std::string& name);
  // A tty without USB parent (a built-in serial port). Sends no uevent.
  std::string AddPlainTty(const std::string& name);
  // Ends the device's transfers; sends "remove" for its children and itself
  // and deletes them from the bed.
  void RemoveDevice(FakeUsbDevice& device);
  // Sends "remove" for a sysfs path and deletes it (ttys).
  void RemovePath(const std::string& sysPath);
  void Uevent(const std::string& sysPath, const char* action);

  UMockdevTestbed* Testbed() const { return m_testbed; }

 private:
  static int HandleIoctl(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, FakeUsbBus* bus);
  static void ClientVanished(UMockdevIoctlBase* handler, UMockdevIoctlClient* client, FakeUsbBus* bus);
  FakeUsbDevice* Find(const std::string& devNode);

  UMockdevTestbed* m_testbed = nullptr;
  UMockdevIoctlBase* m_handler = nullptr;
  std::mutex m_lock;
  std::vector<std::unique_ptr<FakeUsbDevice>> m_devices;
  std::map<int, int> m_nextAddress;
};

}  // namespace tw::test
