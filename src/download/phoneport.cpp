// Opening the phone's COM port, with its retries, pauses and log lines.
#include <cstdio>

#include "download/download.h"
#include "download/downloadtext.h"

namespace tw {

namespace {
constexpr int kPrepareAttempts = 7;
constexpr int kOpenAttempts = 3;
constexpr DWORD kPrepareRetryMs = 100;
constexpr DWORD kOpenRetryMs = 500;
constexpr DWORD kAfterOpenMs = 1000;
}  // namespace

BOOL CDownLoad::OpenPhonePort(int nIndex) {
  // The port name; without the image table the template stays and fails to open.
  char name[32] = "COM#:115200,N,8,0";
  const PhonePort* pPort = m_pPhonePort;
  const int nPort = pPort ? pPort->nPort : 0;
  if (m_pImageTable) {
    m_bFlagSet.bOpenPhone = 1;
    LogMessage("[PHONE] Attempting to Open COM%d...\r\n", nPort);
    std::snprintf(name, sizeof name, nPort > 9 ? "\\\\.\\COM%d" : "COM%d:", nPort);
  } else {
    LogMessage("CreatePhoneFile Error\r\n");
  }

  // Preparation; a failed one still lets the open attempts decide.
  BOOL bPrepared = FALSE;
  for (int attempt = 0; attempt < kPrepareAttempts && !bPrepared && !Stopping(); ++attempt) {
    bPrepared = nPort != 0 && m_Serial.Init();
    if (!bPrepared) {
      LogMessage("[PHONE] Com[%d] Port open failed...\r\n", nPort);
      Sleep(kPrepareRetryMs);
    }
  }
  if (!bPrepared) LogMessage("[PHONE] Device Not Found.\r\n");

  // Up to three open attempts.
  BOOL bOpened = FALSE;
  for (int left = kOpenAttempts - 1; left >= 0 && !bOpened && !Stopping(); --left) {
    LogMessage("[PHONE] 1. Opening %s id[%d].\r\n", name, nIndex);
    bOpened = m_Serial.Open(name, 115200, 'N', 8, 0);
    if (bOpened) {
      Sleep(StartDelayMs(nIndex));
      LogMessage("[PHONE] Opening COM %d Succeed...id[%d]\r\n", nPort, nIndex);
    } else {
      LogMessage("[PHONE] COM[%d] Port open retry (%d)-id[%d]\r\n", nPort, left, nIndex);
      Sleep(kOpenRetryMs);
    }
  }

  // The result. A port that did not open is no longer being opened.
  if (!bOpened) {
    LogMessage("[PHONE] COM[%d] Port open fail.id[%d]\r\n", nPort, nIndex);
    if (m_Serial.IsOpen()) m_Serial.Close();
    m_bFlagSet.bOpenPhone = 0;
    return FALSE;
  }
  Sleep(kAfterOpenMs);
  return TRUE;
}

}  // namespace tw
