#include "platform/win32/win32error.h"

#include "platform/win32/widestring.h"

namespace tw {

std::string Win32ErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD n = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
      code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::string text = n > 0 ? Narrow(std::wstring(buffer, n)) : std::string();
  if (buffer != nullptr) {
    LocalFree(buffer);
  }
  while (!text.empty() &&
         (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.')) {
    text.pop_back();
  }
  return (text.empty() ? "error" : text) + " (code " + std::to_string(code) + ")";
}

}  // namespace tw
