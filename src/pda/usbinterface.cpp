#include "pda/usbinterface.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "platform/stoppablewait.h"
#include "platform/trace.h"
#include "platform/tunables.h"

namespace tw {

CUsbInterface::CUsbInterface(IDeviceProvider* provider) : m_pProvider(provider) {}

CUsbInterface::~CUsbInterface() {
  Close();
}

void CUsbInterface::SetProvider(IDeviceProvider* provider) {
  m_pProvider = provider;
}

void CUsbInterface::SetStopToken(std::stop_token stop) {
  m_stop = std::move(stop);
}

BOOL CUsbInterface::Open(const GUID* pClass, int nMaxIndex, const std::string& preferredPath) {
  // Always start from closed.
  Close();
  // Get the set of present interfaces of the class.
  m_hDevInfo = DeviceInfoSet{};
  if (m_pProvider != nullptr && pClass != nullptr) {
    m_hDevInfo.paths = m_pProvider->EnumerateInterfaces(*pClass);
    m_hDevInfo.bValid = true;
  }
  if (!m_hDevInfo.bValid) {
    Trace("ERROR! SetupDiGetClassDevs()   Could not attach to PnP node\n");
    return FALSE;
  }
  // Members 0..nMaxIndex; a missing member is skipped, the first that opens is kept.
  m_DevInterfaceData = DeviceInterfaceData{};
  m_bHeld = false;
  bool bOtherFailure = false;
  // Indices past the set do not enumerate: the loop ends with the set.
  const long nLast = std::min<long>(nMaxIndex, static_cast<long>(m_hDevInfo.paths.size()) - 1);
  std::vector<long> order;
  const auto preferred = std::find(m_hDevInfo.paths.begin(), m_hDevInfo.paths.end(), preferredPath);
  if (!preferredPath.empty() && preferred != m_hDevInfo.paths.end()) {
    order.push_back(preferred - m_hDevInfo.paths.begin());
  }
  for (long i = 0; i <= nLast; ++i) {
    if (order.empty() || order.front() != i) order.push_back(i);
  }
  for (long i : order) {
    m_DevInterfaceData.nMemberIndex = static_cast<int>(i);
    m_hDevice = OpenDevice(m_hDevInfo, &m_DevInterfaceData, m_szDevicePath);
    if (m_hDevice) {
      break;
    }
    if (m_bLastHeld) {
      m_bHeld = true;
    } else {
      bOtherFailure = true;
    }
  }
  m_bHeld = m_bHeld && !bOtherFailure && !m_hDevice;
  // Open exactly when one of them opened.
  return m_hDevice ? TRUE : FALSE;
}

std::unique_ptr<IByteDevice> CUsbInterface::OpenDevice(const DeviceInfoSet& hSet,
                                                       const DeviceInterfaceData* pData, char* pszPath) {
  // The interface's path; one that does not fit the path buffer is
  // skipped rather than cut (a cut path could name another device).
  if (pData == nullptr || pData->nMemberIndex < 0 ||
      pData->nMemberIndex >= static_cast<int>(hSet.paths.size()) || m_pProvider == nullptr) {
    return nullptr;
  }
  const std::string& path = hSet.paths[static_cast<std::size_t>(pData->nMemberIndex)];
  if (path.size() >= kPathSize) {
    Trace("device path longer than %zu characters skipped: %s\n", kPathSize - 1, path.c_str());
    return nullptr;
  }
  std::memcpy(pszPath, path.c_str(), path.size() + 1);
  // Open it exclusively, exactly as given. An interface that another
  // program holds is reported once, with its holder, and then tried quietly.
  const bool bQuiet = path == m_strHeldReported;
  if (!bQuiet) {
    Console(std::string("Attempting to open ") + pszPath + "\n");
  }
  std::string error;
  errno = 0;
  std::unique_ptr<IByteDevice> device = m_pProvider->OpenInterface(path, &error);
  m_bLastHeld = !device && errno == EBUSY;
  if (device) {
    m_strHeldReported.clear();
  } else if (m_bLastHeld && !bQuiet) {
    // The reason begins with the path as a rule; it is said once.
    const std::string reason = error.starts_with(path + ": ") ? error.substr(path.size() + 2) : error;
    Console(std::string("FAILED to open ") + pszPath + ": " + reason + "; waiting until it is free\n");
    m_strHeldReported = path;
  } else if (!m_bLastHeld) {
    if (bQuiet) {
      m_strHeldReported.clear();
    }
    Console(std::string("FAILED to open ") + pszPath + "\n");
    Trace("%s\n", error.c_str());
  }
  return device;
}

void CUsbInterface::Console(const std::string& text) const {
  if (m_console) m_console(text);
}

void CUsbInterface::Close() {
  m_hDevice.reset();
}

DWORD CUsbInterface::Write(const void* pBuffer, DWORD nBytes) {
  if (!m_hDevice) {
    return 0;
  }
  return m_hDevice->Write(pBuffer, nBytes, GetTunables().writeTimeoutMs) ? nBytes : 0;
}

// Waits for the receive event and reads what it brought, as one poll and one
// read: a vanished device ends the wait at once, so no count is asked first.
DWORD CUsbInterface::Read(void* pBuffer, DWORD nMaxBytes) {
  // Nothing can be read without a device or room.
  if (!m_hDevice || nMaxBytes == 0) {
    return 0;
  }
  // Wait for the first byte, in bounded passes.
  for (int pass = 0; pass < kMaxPassCount; ++pass) {
    const int ready = WaitReceiveOrStop(*m_hDevice, GetTunables().usbReadPassMs, m_stop);
    if (ready < 0 || m_stop.stop_requested()) {
      return 0;
    }
    if (ready == 0) {
      continue;
    }
    // Only what waits, at most nMaxBytes: the rest stays queued for the next read.
    const long got = m_hDevice->Read(pBuffer, nMaxBytes);
    if (got != 0) {
      return got > 0 ? static_cast<DWORD>(got) : 0;
    }
  }
  // Silent through every pass.
  return 0;
}

DWORD CUsbInterface::ReadReply(void* pBuffer, DWORD nSize) {
  DWORD got = Read(pBuffer, nSize);
  if (got == 0 || got >= nSize || m_hDevice->DeliversWholeMessages()) {
    return got;
  }
  auto* out = static_cast<unsigned char*>(pBuffer);
  while (got < nSize) {
    if (WaitReceiveOrStop(*m_hDevice, GetTunables().replyQuietMs, m_stop) <= 0) {
      break;
    }
    const long more = m_hDevice->Read(out + got, nSize - got);
    if (more <= 0) {
      break;
    }
    got += static_cast<DWORD>(more);
  }
  return got;
}

}  // namespace tw
