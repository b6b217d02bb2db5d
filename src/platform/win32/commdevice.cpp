#include "platform/win32/commdevice.h"

#include <algorithm>
#include <chrono>
#include <cwctype>

#include "platform/trace.h"
#include "platform/win32/widestring.h"
#include "platform/win32/win32error.h"

namespace tw {

namespace {

// A request that was ended (SetCommMask, CancelIoEx) must come back within this time.
constexpr DWORD kEndRequestMs = 1000;
// Driver queue sizes, as the upgrader set them.
constexpr DWORD kQueueSize = 4096;

DWORD MillisecondsLeft(std::chrono::steady_clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
          .count();
  return left > 0 ? static_cast<DWORD>(left) : 0;
}

// The documented port settings: receive event only, 4096-byte queues, both
// directions purged, reads that return what waits, writes bounded at 1 s.
bool SetUpPort(HANDLE device, std::string* step) {
  COMMTIMEOUTS timeouts{};
  timeouts.ReadIntervalTimeout = MAXDWORD;
  timeouts.ReadTotalTimeoutMultiplier = 0;
  timeouts.ReadTotalTimeoutConstant = 1000;
  timeouts.WriteTotalTimeoutMultiplier = 0;
  timeouts.WriteTotalTimeoutConstant = 1000;
  if (!SetCommMask(device, EV_RXCHAR)) {
    *step = "SetCommMask";
    return false;
  }
  if (!SetupComm(device, kQueueSize, kQueueSize)) {
    *step = "SetupComm";
    return false;
  }
  if (!PurgeComm(device, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR)) {
    *step = "PurgeComm";
    return false;
  }
  if (!SetCommTimeouts(device, &timeouts)) {
    *step = "SetCommTimeouts";
    return false;
  }
  // 115200 8N1, binary, no flow control; DTR and RTS raised as a modem expects.
  DCB dcb{};
  dcb.DCBlength = sizeof dcb;
  if (!GetCommState(device, &dcb)) {
    *step = "GetCommState";
    return false;
  }
  dcb.BaudRate = CBR_115200;
  dcb.ByteSize = 8;
  dcb.Parity = NOPARITY;
  dcb.StopBits = ONESTOPBIT;
  dcb.fBinary = TRUE;
  dcb.fParity = FALSE;
  dcb.fOutxCtsFlow = FALSE;
  dcb.fOutxDsrFlow = FALSE;
  dcb.fDsrSensitivity = FALSE;
  dcb.fOutX = FALSE;
  dcb.fInX = FALSE;
  dcb.fNull = FALSE;
  dcb.fAbortOnError = FALSE;
  dcb.fDtrControl = DTR_CONTROL_ENABLE;
  dcb.fRtsControl = RTS_CONTROL_ENABLE;
  if (!SetCommState(device, &dcb)) {
    *step = "SetCommState (115200 8N1)";
    return false;
  }
  return true;
}

// A named object per device path, held while the device is open. Windows
// refuses a second open of a device opened without sharing; Wine does not
// for a serial device, so the claim makes the open exclusive there too.
HANDLE ClaimDevice(const std::string& path) {
  std::wstring name = L"Local\\TidewellDevice:" + Widen(path);
  for (std::size_t i = 6; i < name.size(); ++i) {
    if (name[i] == L'\\') {
      name[i] = L'/';
    } else {
      name[i] = static_cast<wchar_t>(towupper(name[i]));
    }
  }
  HANDLE claim = CreateMutexW(nullptr, FALSE, name.c_str());
  if (claim != nullptr && GetLastError() == ERROR_ALREADY_EXISTS) {
    CloseHandle(claim);
    SetLastError(ERROR_SHARING_VIOLATION);
    return nullptr;
  }
  return claim;
}

}  // namespace

std::unique_ptr<CWin32CommDevice> CWin32CommDevice::Open(const std::string& path, Kind kind,
                                                         std::string* error) {
  // 1. Exclusive, overlapped; a sharing violation is tried once more with
  //    the data access rights only, as the upgrader did.
  const std::wstring widePath = Widen(path);
  HANDLE claim = ClaimDevice(path);
  HANDLE device = claim == nullptr
                      ? INVALID_HANDLE_VALUE
                      : CreateFileW(widePath.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  if (device == INVALID_HANDLE_VALUE && claim != nullptr && GetLastError() == ERROR_SHARING_VIOLATION) {
    device = CreateFileW(widePath.c_str(), FILE_READ_DATA | FILE_WRITE_DATA, 0, nullptr, OPEN_EXISTING,
                         FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
  }
  if (device == INVALID_HANDLE_VALUE) {
    const DWORD code = GetLastError();
    if (claim != nullptr) {
      CloseHandle(claim);
    }
    if (error) {
      *error = path + ": " +
               (code == ERROR_SHARING_VIOLATION || code == ERROR_ACCESS_DENIED ? "held by another program"
                                                                               : "cannot open") +
               ": " + Win32ErrorText(code);
    }
    SetLastError(code);
    return nullptr;
  }
  std::unique_ptr<CWin32CommDevice> opened(new CWin32CommDevice(device, claim));
  // 2. The events, and the settings the kind needs.
  std::string step;
  bool ready = opened->MakeEvents();
  if (!ready) {
    step = "CreateEvent";
  } else if (kind == Kind::Port) {
    ready = SetUpPort(device, &step);
  } else if (!SetCommMask(device, EV_RXCHAR)) {
    step = "SetCommMask (no receive events on this device)";
    ready = false;
  }
  if (!ready) {
    const DWORD code = GetLastError();
    if (error) {
      *error = path + ": " + step + ": " + Win32ErrorText(code);
    }
    opened.reset();
    SetLastError(code);
    return nullptr;
  }
  return opened;
}

CWin32CommDevice::CWin32CommDevice(HANDLE device, HANDLE claim) : m_hDevice(device), m_hClaim(claim) {}

CWin32CommDevice::~CWin32CommDevice() {
  CancelIoEx(m_hDevice, nullptr);
  CloseHandle(m_hDevice);
  CloseHandle(m_hClaim);
  for (OVERLAPPED* request : {&m_ovRead, &m_ovWrite, &m_ovWait}) {
    if (request->hEvent != nullptr) {
      CloseHandle(request->hEvent);
    }
  }
}

bool CWin32CommDevice::MakeEvents() {
  for (OVERLAPPED* request : {&m_ovRead, &m_ovWrite, &m_ovWait}) {
    // Manual reset, not signalled, unnamed.
    request->hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (request->hEvent == nullptr) {
      return false;
    }
  }
  return true;
}

long CWin32CommDevice::BytesWaiting() {
  DWORD errors = 0;
  COMSTAT stat{};
  if (m_bBroken) {
    return -1;
  }
  if (!ClearCommError(m_hDevice, &errors, &stat)) {
    Trace("ClearCommError failed: %lu\n", GetLastError());
    return -1;
  }
  return static_cast<long>(stat.cbInQue);
}

int CWin32CommDevice::ReadyFromMask(DWORD mask) {
  const long waiting = BytesWaiting();
  if (waiting < 0) {
    return -1;
  }
  return (waiting > 0 || (mask & EV_RXCHAR) != 0) ? 1 : 0;
}

int CWin32CommDevice::WaitReceive(int timeoutMs) {
  // 1. Data that waits already.
  const long waiting = BytesWaiting();
  if (waiting != 0) {
    return waiting > 0 ? 1 : -1;
  }
  // 2. The receive event. A wait that fails at once, or ends with a failure
  //    this object did not cause, is a device that went away (Wine says 109
  //    or 21, Windows other codes: all alike here).
  m_dwEvtMask = 0;
  ResetEvent(m_ovWait.hEvent);
  if (WaitCommEvent(m_hDevice, &m_dwEvtMask, &m_ovWait)) {
    return ReadyFromMask(m_dwEvtMask);
  }
  if (GetLastError() != ERROR_IO_PENDING) {
    Trace("WaitCommEvent failed: %lu\n", GetLastError());
    return -1;
  }
  // 3. A byte that came just before the wait began may not wake it.
  if (BytesWaiting() > 0) {
    return EndPending(m_ovWait, true) ? 1 : -1;
  }
  // 4. Wait within the bound; when the time runs out, SetCommMask ends the
  //    pending wait, which then completes with an empty mask.
  if (WaitForSingleObject(m_ovWait.hEvent, static_cast<DWORD>(std::max(timeoutMs, 0))) == WAIT_OBJECT_0) {
    DWORD ignored = 0;
    if (!GetOverlappedResult(m_hDevice, &m_ovWait, &ignored, FALSE)) {
      Trace("WaitCommEvent ended with %lu\n", GetLastError());
      return -1;
    }
    return ReadyFromMask(m_dwEvtMask);
  }
  if (!EndPending(m_ovWait, true)) {
    return -1;
  }
  return ReadyFromMask(0);
}

bool CWin32CommDevice::EndPending(OVERLAPPED& request, bool byCommMask) {
  if (byCommMask) {
    SetCommMask(m_hDevice, EV_RXCHAR);
  } else {
    CancelIoEx(m_hDevice, &request);
  }
  if (WaitForSingleObject(request.hEvent, kEndRequestMs) != WAIT_OBJECT_0 && byCommMask) {
    // The driver kept the wait: cancel it as any other request.
    CancelIoEx(m_hDevice, &request);
    WaitForSingleObject(request.hEvent, kEndRequestMs);
  }
  DWORD ignored = 0;
  if (!GetOverlappedResult(m_hDevice, &request, &ignored, FALSE) && GetLastError() == ERROR_IO_INCOMPLETE) {
    // Still pending: the request's record cannot be used again.
    Trace("an ended request did not come back: the device is unusable\n");
    m_bBroken = true;
    return false;
  }
  return true;
}

long CWin32CommDevice::Read(void* dst, std::size_t n) {
  // 1. Only what waits, at most n: the rest stays queued for the next read.
  const long waiting = BytesWaiting();
  if (waiting <= 0 || n == 0) {
    return waiting < 0 ? -1 : 0;
  }
  const DWORD take = static_cast<DWORD>(std::min<std::size_t>(n, static_cast<std::size_t>(waiting)));
  // 2. The read completes at once, the bytes being there; a read that the
  //    driver holds is cancelled after the bound and yields what it got.
  ResetEvent(m_ovRead.hEvent);
  DWORD got = 0;
  if (!ReadFile(m_hDevice, dst, take, nullptr, &m_ovRead) && GetLastError() != ERROR_IO_PENDING) {
    Trace("ReadFile failed: %lu\n", GetLastError());
    DWORD errors = 0;
    ClearCommError(m_hDevice, &errors, nullptr);
    return -1;
  }
  if (WaitForSingleObject(m_ovRead.hEvent, kEndRequestMs) != WAIT_OBJECT_0 && !EndPending(m_ovRead, false)) {
    return -1;
  }
  if (!GetOverlappedResult(m_hDevice, &m_ovRead, &got, FALSE) && got == 0 &&
      GetLastError() != ERROR_OPERATION_ABORTED) {
    Trace("a read ended with %lu\n", GetLastError());
    DWORD errors = 0;
    ClearCommError(m_hDevice, &errors, nullptr);
    return -1;
  }
  return static_cast<long>(got);
}

bool CWin32CommDevice::Write(const void* src, std::size_t n, int timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(timeoutMs, 0));
  const auto* bytes = static_cast<const BYTE*>(src);
  std::size_t done = 0;
  while (done < n && !m_bBroken) {
    // One overlapped write of the rest; the port's write time-out may end it short.
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(n - done, MAXDWORD));
    ResetEvent(m_ovWrite.hEvent);
    if (!WriteFile(m_hDevice, bytes + done, chunk, nullptr, &m_ovWrite) &&
        GetLastError() != ERROR_IO_PENDING) {
      Trace("WriteFile failed: %lu\n", GetLastError());
      DWORD errors = 0;
      ClearCommError(m_hDevice, &errors, nullptr);
      return false;
    }
    if (WaitForSingleObject(m_ovWrite.hEvent, MillisecondsLeft(deadline)) != WAIT_OBJECT_0) {
      Trace("a write of %lu bytes did not end in time\n", static_cast<unsigned long>(chunk));
      EndPending(m_ovWrite, false);
      return false;
    }
    DWORD written = 0;
    if (!GetOverlappedResult(m_hDevice, &m_ovWrite, &written, FALSE)) {
      Trace("a write ended with %lu\n", GetLastError());
      DWORD errors = 0;
      ClearCommError(m_hDevice, &errors, nullptr);
      return false;
    }
    done += written;
    if (done < n && MillisecondsLeft(deadline) == 0) {
      return false;
    }
  }
  return done == n;
}

void CWin32CommDevice::Purge() {
  PurgeComm(m_hDevice, PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
}

}  // namespace tw
