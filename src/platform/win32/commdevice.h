// A Win32 device handle with the serial-port services as an exclusive byte
// channel: a COM port ("\\.\COM7") or the handset's download interface,
// whose driver offers the same receive queue and communication events.
// Overlapped I/O throughout; every wait is bounded, and a wait that the time
// ends is ended with SetCommMask (a pending receive-event wait) or CancelIoEx
// (a pending read or write).
#pragma once
#include <windows.h>

#include <memory>
#include <string>

#include "platform/bytedevice.h"

namespace tw {

class CWin32CommDevice final : public IByteDevice {
 public:
  // What the open readies: a COM port gets the documented port settings
  // (queues, purge, time-outs, 115200 8N1); an interface only the receive event.
  enum class Kind { Port, Interface };

  // Opens path for overlapped read and write, not shared. Null on failure,
  // with the reason in *error; GetLastError() is kept from the failing call.
  static std::unique_ptr<CWin32CommDevice> Open(const std::string& path, Kind kind, std::string* error);

  CWin32CommDevice(const CWin32CommDevice&) = delete;
  CWin32CommDevice& operator=(const CWin32CommDevice&) = delete;
  ~CWin32CommDevice() override;

  long BytesWaiting() override;
  int WaitReceive(int timeoutMs) override;
  long Read(void* dst, std::size_t n) override;
  bool Write(const void* src, std::size_t n, int timeoutMs) override;
  void Purge() override;

 private:
  CWin32CommDevice(HANDLE device, HANDLE claim);
  bool MakeEvents();
  // Ends a pending overlapped request of this device and reaps it. False
  // when it did not come back in time: the device is then unusable.
  bool EndPending(OVERLAPPED& request, bool byCommMask);
  int ReadyFromMask(DWORD mask);

  HANDLE m_hDevice;
  HANDLE m_hClaim;  // the named claim on the device's path (see Open)
  OVERLAPPED m_ovRead{};
  OVERLAPPED m_ovWrite{};
  OVERLAPPED m_ovWait{};
  DWORD m_dwEvtMask = 0;
  bool m_bBroken = false;
};

}  // namespace tw
