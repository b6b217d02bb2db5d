// The serial port of the phone download: opens the modem's COM port by name,
// writes frames and reads the answers. Works over any IDeviceProvider (tty
// devices, the simulated handset's in-process channel) and an injected clock.
#pragma once
#include <memory>
#include <stop_token>
#include <string>
#include <vector>

#include "platform/bytedevice.h"
#include "platform/clock.h"
#include "platform/deviceprovider.h"
#include "platform/wintypes.h"

namespace tw {

inline constexpr DWORD EV_RXCHAR = 0x0001;  // a character was received

class CWinRs232cSync {
 public:
  static constexpr DWORD kReadBufferSize = 5000;

  // Without a provider Open fails until SetProvider gives one; the clock is the real one.
  CWinRs232cSync();
  CWinRs232cSync(IDeviceProvider& provider, IClock& clock);
  CWinRs232cSync(const CWinRs232cSync&) = delete;
  CWinRs232cSync& operator=(const CWinRs232cSync&) = delete;
  virtual ~CWinRs232cSync();

  void SetProvider(IDeviceProvider* provider);
  void SetClock(IClock& clock);
  // A stop request ends the receive wait, a pending read and Open's pause at once.
  void SetStopToken(std::stop_token stop);
  // Bound of WaitRxChar() in ms (default: the serialRxWaitMs tunable).
  void SetRxWaitTimeout(int timeoutMs);

  BOOL Init();
  // name: "COMn", "COMn:" or "\\.\COMn". Line settings are applied as 115200 8N1.
  BOOL Open(const char* name, DWORD baudRate, char parity, BYTE byteSize, BYTE stopBits);
  BOOL IsOpen() const { return m_Handle != nullptr; }
  // Open, and the port behind it is gone (unplugged, reset).
  bool Vanished() const { return m_Handle && m_Handle->BytesWaiting() < 0; }
  BOOL Close();
  // Writes all of data; FALSE when closed, gone or not taken within the write time-out.
  BOOL Write(const void* data, DWORD length);
  // count 0: what is waiting, at most 5000 bytes. Otherwise waits up to the
  // read time-out for count bytes (at most 5000). Returns the bytes read.
  DWORD Read(void* dst, DWORD count);
  // Waits for a received character: EV_RXCHAR, or 0 when the wait ended
  // without one (time-out, hang-up, stop request, closed port).
  DWORD WaitRxChar();
  DWORD WaitRxChar(int timeoutMs);

  // Why the last Open failed, for log lines.
  const std::string& LastError() const { return m_strLastError; }

 private:
  IDeviceProvider* m_pProvider = nullptr;
  IClock* m_pClock;
  std::stop_token m_stop;
  int m_nRxWaitMs;
  std::unique_ptr<IByteDevice> m_Handle;
  std::vector<BYTE> m_readBuffer;
  std::string m_strLastError;
};

}  // namespace tw
