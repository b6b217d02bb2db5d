#include "pda/usbinterface.h"

#include <algorithm>
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

BOOL CUsbInterface::Open(const GUID* pClass, int nMaxIndex) {
  // 1. Always start from closed.
  Close();
  // 2-4. Get the set of present interfaces of the class.
  m_hDevInfo = DeviceInfoSet{};
  if (m_pProvider != nullptr && pClass != nullptr) {
    m_hDevInfo.paths = m_pProvider->EnumerateInterfaces(*pClass);
    m_hDevInfo.bValid = true;
  }
  if (!m_hDevInfo.bValid) {
    Trace("ERROR! SetupDiGetClassDevs()   Could not attach to PnP node\n");
    return FALSE;
  }
  // 5-6. Members 0..nMaxIndex; a missing member is skipped, the first that opens is kept.
  m_DevInterfaceData = DeviceInterfaceData{};
  // Indices past the set do not enumerate: the loop ends with the set.
  const long nLast = std::min<long>(nMaxIndex, static_cast<long>(m_hDevInfo.paths.size()) - 1);
  for (long i = 0; i <= nLast; ++i) {
    m_DevInterfaceData.nMemberIndex = static_cast<int>(i);
    m_hDevice = OpenDevice(m_hDevInfo, &m_DevInterfaceData, m_szDevicePath);
    if (m_hDevice) {
      break;
    }
  }
  // 7. Open exactly when one of them opened.
  return m_hDevice ? TRUE : FALSE;
}

std::unique_ptr<IByteDevice> CUsbInterface::OpenDevice(const DeviceInfoSet& hSet,
                                                       const DeviceInterfaceData* pData, char* pszPath) {
  // 1-4. The interface's path; one that does not fit the path buffer is
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
  // 5-8. Open it exclusively, exactly as given.
  std::printf("Attempting to open %s\n", pszPath);
  std::fflush(stdout);
  std::string error;
  std::unique_ptr<IByteDevice> device = m_pProvider->OpenInterface(path, &error);
  if (!device) {
    std::printf("FAILED to open %s\n", pszPath);
    std::fflush(stdout);
    Trace("%s\n", error.c_str());
  }
  return device;
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

DWORD CUsbInterface::Read(void* pBuffer, DWORD nMaxBytes) {
  // 1. A closed or vanished device cannot arm the receive event.
  if (!m_hDevice || m_hDevice->BytesWaiting() < 0 || nMaxBytes == 0) {
    return 0;
  }
  // 2. Wait for the first byte, in bounded passes.
  long n = 0;
  for (int pass = 0; pass < kMaxPassCount; ++pass) {
    long waiting = m_hDevice->BytesWaiting();
    if (waiting < 0) {
      return 0;
    }
    n = std::min<long>(static_cast<long>(nMaxBytes), waiting);
    if (n > 0) {
      break;
    }
    if (WaitReceiveOrStop(*m_hDevice, GetTunables().usbReadPassMs, m_stop) < 0 || m_stop.stop_requested()) {
      return 0;
    }
  }
  // 3. Silent through every pass.
  if (n == 0) {
    return 0;
  }
  // 4-5. Only what waits: the rest stays queued for the next read.
  long got = m_hDevice->Read(pBuffer, static_cast<std::size_t>(n));
  return got > 0 ? static_cast<DWORD>(got) : 0;
}

}  // namespace tw
