#include "phonedown/cwinrs232c/winrs232c.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>

#include "platform/stoppablewait.h"
#include "platform/trace.h"
#include "platform/tunables.h"

namespace tw {

namespace {

constexpr DWORD ERROR_SHARING_VIOLATION = 32;
constexpr std::uint32_t kSettleMs = 500;

// The error code of a failed open, in the codes the trace lines have always shown.
DWORD OpenErrorCode(int errorNumber) {
  switch (errorNumber) {
    case 0:
      return 0;
    case ENOENT:
      return 2;  // file not found
    case EACCES:
    case EPERM:
      return 5;  // access denied
    case EBUSY:
    case EWOULDBLOCK:
      return ERROR_SHARING_VIOLATION;
    default:
      return static_cast<DWORD>(errorNumber);
  }
}

unsigned HandleValue(const IByteDevice* device) {
  return static_cast<unsigned>(reinterpret_cast<std::uintptr_t>(device));
}

}  // namespace

CWinRs232cSync::CWinRs232cSync() : m_pClock(&DefaultClock()), m_nRxWaitMs(GetTunables().serialRxWaitMs) {}

CWinRs232cSync::CWinRs232cSync(IDeviceProvider& provider, IClock& clock)
    : m_pProvider(&provider), m_pClock(&clock), m_nRxWaitMs(GetTunables().serialRxWaitMs) {}

CWinRs232cSync::~CWinRs232cSync() {
  if (IsOpen()) {
    Close();
  }
}

void CWinRs232cSync::SetProvider(IDeviceProvider* provider) {
  m_pProvider = provider;
}

void CWinRs232cSync::SetClock(IClock& clock) {
  m_pClock = &clock;
}

void CWinRs232cSync::SetStopToken(std::stop_token stop) {
  m_stop = std::move(stop);
}

void CWinRs232cSync::SetRxWaitTimeout(int timeoutMs) {
  m_nRxWaitMs = std::max(timeoutMs, 0);
}

BOOL CWinRs232cSync::Init() {
  m_readBuffer.assign(kReadBufferSize, 0);
  return TRUE;
}

BOOL CWinRs232cSync::Open(const char* name, DWORD baudRate, char parity, BYTE byteSize, BYTE stopBits) {
  // The device applies 115200 8N1 raw whatever is asked: the phone's monitor runs at that.
  (void)baudRate, (void)parity, (void)byteSize, (void)stopBits;
  const std::string portName = name ? name : "";
  // An open port is let go first rather than leaked.
  m_Handle.reset();
  m_strLastError.clear();
  if (m_pProvider == nullptr) {
    m_strLastError = portName + ": no device provider";
    Trace("SUCCESS! CreateFile() COM<%s>= m_Handle : %x  ERROR CODE : %d\n", portName.c_str(), 0U, 2);
    return FALSE;
  }
  // Open, and trace the outcome either way.
  errno = 0;
  m_Handle = m_pProvider->OpenPort(portName, &m_strLastError);
  DWORD code = m_Handle ? 0 : OpenErrorCode(errno);
  Trace("SUCCESS! CreateFile() COM<%s>= m_Handle : %x  ERROR CODE : %d\n", portName.c_str(),
        HandleValue(m_Handle.get()), static_cast<int>(code));
  // One more try when another holder had it.
  if (!m_Handle && code == ERROR_SHARING_VIOLATION) {
    errno = 0;
    m_Handle = m_pProvider->OpenPort(portName, &m_strLastError);
    code = m_Handle ? 0 : OpenErrorCode(errno);
    Trace("RETRY CreateFile() COM<%s>= m_Handle : %x  ERROR CODE : %d\n", portName.c_str(),
          HandleValue(m_Handle.get()), static_cast<int>(code));
  }
  // Still no port: fail with the reason in the trace and LastError().
  if (!m_Handle) {
    Trace("%s\n", m_strLastError.c_str());
    return FALSE;
  }
  // Start from empty queues and make sure the device answers; a port
  // that fails here is closed before Open reports the failure.
  m_Handle->Purge();
  if (m_Handle->BytesWaiting() < 0) {
    m_strLastError = portName + ": the device went away while it was set up";
    Trace("%s\n", m_strLastError.c_str());
    m_Handle.reset();
    return FALSE;
  }
  // Let the port settle.
  m_pClock->Sleep(kSettleMs, m_stop);
  return TRUE;
}

BOOL CWinRs232cSync::Close() {
  if (!IsOpen()) {
    return FALSE;
  }
  m_Handle.reset();
  m_readBuffer.clear();
  m_readBuffer.shrink_to_fit();
  return TRUE;
}

BOOL CWinRs232cSync::Write(const void* data, DWORD length) {
  if (!IsOpen()) {
    return FALSE;
  }
  return m_Handle->Write(data, length, GetTunables().writeTimeoutMs) ? TRUE : FALSE;
}

DWORD CWinRs232cSync::Read(void* dst, DWORD count) {
  if (!IsOpen()) {
    return 0;
  }
  if (m_readBuffer.size() < kReadBufferSize) {
    m_readBuffer.assign(kReadBufferSize, 0);
  }
  // Count 0 takes what waits, up to the buffer's size: one read that
  // does not block takes exactly that, so the count is not asked first.
  const std::size_t want = std::min<std::size_t>(count == 0 ? kReadBufferSize : count, kReadBufferSize);
  // Gather into the read buffer; a given count waits for its bytes
  // up to the read time-out.
  const ClockDeadline deadline(*m_pClock,
                               static_cast<std::uint32_t>(std::max(GetTunables().serialReadTotalMs, 0)));
  std::size_t got = 0;
  while (got < want) {
    long n = m_Handle->Read(m_readBuffer.data() + got, want - got);
    if (n < 0) {
      break;
    }
    got += static_cast<std::size_t>(n);
    if (got == want || count == 0) {
      break;
    }
    const std::uint32_t left = deadline.Left();
    if (left == 0 || WaitReceiveOrStop(*m_Handle, static_cast<int>(left), m_stop, *m_pClock) <= 0) {
      break;
    }
  }
  if (got > 0) {
    std::memcpy(dst, m_readBuffer.data(), got);
  }
  return static_cast<DWORD>(got);
}

DWORD CWinRs232cSync::WaitRxChar() {
  return WaitRxChar(m_nRxWaitMs);
}

DWORD CWinRs232cSync::WaitRxChar(int timeoutMs) {
  if (!IsOpen()) {
    return 0;
  }
  return WaitReceiveOrStop(*m_Handle, timeoutMs, m_stop, *m_pClock) == 1 ? EV_RXCHAR : 0;
}

}  // namespace tw
