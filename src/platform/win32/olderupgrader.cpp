// Start-up on Windows: the older upgrader's window is found by its exact
// title, and its process is ended with the documented exit code.
#include "platform/olderupgrader.h"

#include <windows.h>

#include "platform/trace.h"
#include "platform/tunables.h"
#include "platform/win32/widestring.h"

namespace tw {

void EndOlderUpgrader(const std::string& title) {
  // 1. The top-level window with exactly that title, and its process.
  HWND window = FindWindowW(nullptr, Widen(title).c_str());
  if (window == nullptr) {
    return;
  }
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == 0 || pid == GetCurrentProcessId()) {
    return;
  }
  // 2. End it, and wait for its end, never without a bound.
  HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
  if (process == nullptr) {
    return;
  }
  Trace("ending older upgrader, pid %lu\n", static_cast<unsigned long>(pid));
  if (TerminateProcess(process, 0xFFFFFFFF)) {
    WaitForSingleObject(process, static_cast<DWORD>(GetTunables().olderUpgraderWaitMs));
  }
  CloseHandle(process);
}

}  // namespace tw
