// The PDA side's transport: finds the handset's download interface among the
// present interfaces of a class, opens it exclusively and moves bytes.
// It knows nothing of the PDA protocol.
#pragma once
#include <functional>
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/bytedevice.h"
#include "platform/deviceprovider.h"
#include "platform/guid.h"
#include "platform/wintypes.h"

namespace tw {

// The interfaces of a class found by one enumeration, in member-index order.
struct DeviceInfoSet {
  bool bValid = false;
  std::vector<std::string> paths;
};

// One interface of a set: its member index, or -1 before enumeration.
struct DeviceInterfaceData {
  int nMemberIndex = -1;
};

class CUsbInterface {
 public:
  static constexpr int kMaxPassCount = 200;  // read passes without data before a read gives up
  static constexpr std::size_t kPathSize = 256;

  // The provider may be given later (SetProvider); without one, Open fails.
  explicit CUsbInterface(IDeviceProvider* provider = nullptr);
  CUsbInterface(const CUsbInterface&) = delete;
  CUsbInterface& operator=(const CUsbInterface&) = delete;
  virtual ~CUsbInterface();

  void SetProvider(IDeviceProvider* provider);
  // Where the open attempts' texts go ("Attempting to open PATH\n", "FAILED
  // to open PATH\n"); without one they are dropped. Library code never
  // prints: the front end decides (the window: stdout, headless: stderr).
  void SetConsole(std::function<void(const std::string&)> console) { m_console = std::move(console); }
  // A stop request ends a waiting read at once (it returns 0).
  void SetStopToken(std::stop_token stop);

  // Tries member indices 0..nMaxIndex of pClass and keeps the first that
  // opens; a preferred path that is present is tried before them.
  BOOL Open(const GUID* pClass, int nMaxIndex, const std::string& preferredPath = {});
  // Copies the interface's path into pszPath (kPathSize bytes) and opens it; null on failure.
  std::unique_ptr<IByteDevice> OpenDevice(const DeviceInfoSet& hSet, const DeviceInterfaceData* pData,
                                          char* pszPath);
  void Close();
  BOOL IsOpen() const { return m_hDevice != nullptr; }
  // Open, and the device behind it is gone (unplugged, reset).
  bool Vanished() const { return m_hDevice && m_hDevice->BytesWaiting() < 0; }

  // Writes all nBytes; returns nBytes, or 0 on failure or when closed.
  DWORD Write(const void* pBuffer, DWORD nBytes);
  // Waits (at most kMaxPassCount bounded passes) for the first byte, then reads
  // what has arrived, at most nMaxBytes. 0 when closed, gone, stopped or silent.
  DWORD Read(void* pBuffer, DWORD nMaxBytes);
  // Reads one message of the handset, nSize bytes long: what has arrived, as
  // Read does, then, while it is short, each further piece that follows
  // within the reply quiet time (a tunable). A channel that delivers every
  // message whole is not waited on. Returns the bytes read; fewer than nSize
  // for a short message.
  DWORD ReadReply(void* pBuffer, DWORD nSize);

  // Path of the last interface examined; after a successful Open, the open one.
  const char* DevicePath() const { return m_szDevicePath; }
  // Whether the last Open failed only on interfaces that another program
  // holds: they may come free, so the caller may keep waiting.
  BOOL DeviceHeld() const { return m_bHeld ? TRUE : FALSE; }

 private:
  void Console(const std::string& text) const;

  IDeviceProvider* m_pProvider = nullptr;
  std::function<void(const std::string&)> m_console;
  std::stop_token m_stop;
  DeviceInfoSet m_hDevInfo;
  DeviceInterfaceData m_DevInterfaceData;
  std::unique_ptr<IByteDevice> m_hDevice;
  char m_szDevicePath[kPathSize] = {};
  bool m_bHeld = false;
  bool m_bLastHeld = false;  // the last OpenDevice failed on a held interface
  // The interface whose holder was last reported: while it stays held, its
  // open attempts print nothing more.
  std::string m_strHeldReported;
};

}  // namespace tw
